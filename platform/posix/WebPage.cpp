#include "platform/WebPage.h"

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <thread>

#include "platform/CodePage.h"
#include "platform/SystemError.h"

extern char** environ;

namespace platform {

namespace {

// Collects the opener once it ends, so that no zombie is left behind; nothing
// waits on this thread.
void ReapWhenEnded(pid_t nPid) {
  try {
    std::thread([nPid] {
      while (::waitpid(nPid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the opener is collected when this program ends.
  }
}

}  // namespace

bool OpenWebPage(const std::wstring& strUrl) {
  std::string strProgram = "xdg-open";
  std::string strArgument = WideToNarrow(strUrl);
  char* argv[] = {strProgram.data(), strArgument.data(), nullptr};

  posix_spawn_file_actions_t actions;
  if (const int nResult = ::posix_spawn_file_actions_init(&actions); nResult != 0) {
    SetLastErrorCode(static_cast<unsigned long>(nResult));
    return false;
  }
  posix_spawnattr_t attributes;
  if (const int nResult = ::posix_spawnattr_init(&attributes); nResult != 0) {
    ::posix_spawn_file_actions_destroy(&actions);
    SetLastErrorCode(static_cast<unsigned long>(nResult));
    return false;
  }
  // The browser outlives this program: it must not hold its files or sockets.
  int nResult = ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t noSignals;
  sigset_t defaultSignals;
  sigemptyset(&noSignals);
  sigemptyset(&defaultSignals);
  sigaddset(&defaultSignals, SIGPIPE);
  if (nResult == 0) nResult = ::posix_spawnattr_setsigmask(&attributes, &noSignals);
  if (nResult == 0) nResult = ::posix_spawnattr_setsigdefault(&attributes, &defaultSignals);
  if (nResult == 0) nResult = ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t nPid = -1;
  if (nResult == 0) nResult = ::posix_spawnp(&nPid, strProgram.c_str(), &actions, &attributes, argv, environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  if (nResult != 0) {
    SetLastErrorCode(static_cast<unsigned long>(nResult));
    return false;
  }
  ReapWhenEnded(nPid);
  return true;
}

}  // namespace platform
