#include "platform/WebPage.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <thread>

#include "platform/CodePage.h"
#include "platform/SystemError.h"
#include "platform/posix/CleanSpawn.h"

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

  CCleanSpawn spawn;
  int nResult = spawn.Result();
  pid_t nPid = -1;
  if (nResult == 0) {
    nResult = ::posix_spawnp(&nPid, strProgram.c_str(), &spawn.m_actions, &spawn.m_attributes, argv, environ);
  }
  if (nResult != 0) {
    SetLastErrorCode(static_cast<unsigned long>(nResult));
    return false;
  }
  ReapWhenEnded(nPid);
  return true;
}

}  // namespace platform
