#include "platform/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cwctype>
#include <string>
#include <thread>
#include <vector>

#include "platform/CodePage.h"
#include "platform/CommandLine.h"
#include "platform/SystemError.h"
#include "platform/posix/CleanSpawn.h"

extern char** environ;

namespace platform {

struct CProcess::Impl {
  ~Impl() {
    if (m_nPidFd >= 0) ::close(m_nPidFd);
    // A child that has already ended is collected here; one still running
    // is collected by the system once this program is gone.
    if (!m_bReaped) ::waitpid(m_nPid, nullptr, WNOHANG);
  }

  pid_t m_nPid = -1;
  int m_nPidFd = -1;  // -1 when the kernel has no pidfd: the wait then polls
  bool m_bReaped = false;
};

CProcess::CProcess() = default;
CProcess::~CProcess() = default;
CProcess::CProcess(CProcess&& other) noexcept = default;
CProcess& CProcess::operator=(CProcess&& other) noexcept = default;

bool CProcess::IsStarted() const { return m_pImpl != nullptr; }

namespace {

// The downloaded installer arrives without the execute bit.
bool MakeExecutable(const std::string& strPath) {
  struct stat st {};
  if (::stat(strPath.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode) || (st.st_mode & S_IXUSR) != 0) return true;
  // A file of someone else's may still be executable for us; spawning tells.
  ::chmod(strPath.c_str(), (st.st_mode & 07777) | S_IXUSR);
  return true;
}

// Windows' high priority class, as far as this user may go: a few steps
// ahead of this program, never ahead of the system's own work.
void RaisePriority(pid_t nPid) {
  constexpr int kHighestNice = -10;
  errno = 0;
  const int nOwnNice = ::getpriority(PRIO_PROCESS, 0);
  if (errno != 0 || nOwnNice <= kHighestNice) return;
  // Only a privileged user may go below its own nice value; others keep it.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(nPid), std::max(nOwnNice - 5, kHighestNice));
}

std::wstring BaseName(const std::string& strPath) {
  const auto nSlash = strPath.rfind('/');
  return NarrowToWide(nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1));
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  }
  return true;
}

// The file name of a process's executable; empty when the process is gone,
// is a kernel thread or zombie, or hides it.
std::wstring ImageName(const std::string& strPid) {
  const std::string strProc = "/proc/" + strPid;
  char szTarget[PATH_MAX];
  const ssize_t nLength = ::readlink((strProc + "/exe").c_str(), szTarget, sizeof(szTarget) - 1);
  if (nLength > 0) {
    std::string strTarget(szTarget, static_cast<std::size_t>(nLength));
    // A program whose file was replaced (an update) still counts under its name.
    const std::string strDeleted = " (deleted)";
    if (strTarget.size() > strDeleted.size() && strTarget.ends_with(strDeleted)) {
      strTarget.resize(strTarget.size() - strDeleted.size());
    }
    return BaseName(strTarget);
  }
  // Another user's executable link is closed to us; its command line is not.
  const int nFd = ::open((strProc + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
  if (nFd < 0) return {};
  char szArg0[PATH_MAX];
  const ssize_t nRead = ::read(nFd, szArg0, sizeof(szArg0) - 1);
  ::close(nFd);
  if (nRead <= 0) return {};
  szArg0[nRead] = '\0';
  return BaseName(szArg0);
}

struct DirCloser {
  void operator()(DIR* pDir) const { ::closedir(pDir); }
};

}  // namespace

bool StartProcess(const std::wstring& strApplication, const std::wstring& strCommandLine,
                  ProcessPriority priority, CProcess& process) {
  const std::string strPath = WideToNarrow(strApplication);
  if (strPath.empty()) {
    SetLastErrorCode(ENOENT);
    return false;
  }
  if (!MakeExecutable(strPath)) return false;  // errno from stat

  std::vector<std::string> args{strPath};
  std::vector<std::wstring> split = SplitCommandLine(strCommandLine);
  for (std::size_t i = 1; i < split.size(); ++i) args.push_back(WideToNarrow(split[i]));
  std::vector<char*> argv;
  for (std::string& strArg : args) argv.push_back(strArg.data());
  argv.push_back(nullptr);

  CCleanSpawn spawn;
  if (spawn.Result() != 0) {
    SetLastErrorCode(static_cast<unsigned long>(spawn.Result()));
    return false;
  }

  pid_t nPid = -1;
  int nResult = 0;
  for (int nAttempt = 0;; ++nAttempt) {
    nResult = ::posix_spawn(&nPid, strPath.c_str(), &spawn.m_actions, &spawn.m_attributes, argv.data(), environ);
    // A file just written may still be open for writing in a child forked by
    // another thread before its exec closed it: that passes within moments.
    if (nResult != ETXTBSY || nAttempt >= 10) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (nResult != 0) {
    SetLastErrorCode(static_cast<unsigned long>(nResult));
    return false;
  }

  if (priority == ProcessPriority::High) RaisePriority(nPid);

  auto pImpl = std::make_unique<CProcess::Impl>();
  pImpl->m_nPid = nPid;
  // Through the system call: glibc 2.36's <sys/pidfd.h> does not link from C++.
  pImpl->m_nPidFd = static_cast<int>(::syscall(SYS_pidfd_open, nPid, 0));
  process.m_pImpl = std::move(pImpl);
  return true;
}

ProcessWait WaitForProcess(CProcess& process, std::chrono::milliseconds timeout) {
  if (!process.IsStarted()) {
    SetLastErrorCode(ESRCH);
    return ProcessWait::Failed;
  }
  CProcess::Impl& impl = *process.m_pImpl;
  if (impl.m_bReaped) return ProcessWait::Ended;

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::max(timeout, std::chrono::milliseconds(0));
  auto pollStep = std::chrono::milliseconds(1);
  for (;;) {
    const pid_t nResult = ::waitpid(impl.m_nPid, nullptr, WNOHANG);
    if (nResult == impl.m_nPid) {
      impl.m_bReaped = true;
      return ProcessWait::Ended;
    }
    if (nResult < 0) {
      if (errno == EINTR) continue;
      return ProcessWait::Failed;  // ECHILD: collected elsewhere, nothing left to wait for
    }
    const auto now = Clock::now();
    if (now >= deadline) return ProcessWait::TimedOut;
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);

    if (impl.m_nPidFd >= 0) {
      pollfd entry{impl.m_nPidFd, POLLIN, 0};
      const auto nMs = static_cast<int>(std::min<std::chrono::milliseconds::rep>(remaining.count(), INT_MAX));
      if (::poll(&entry, 1, nMs) < 0 && errno != EINTR) {
        ::close(impl.m_nPidFd);
        impl.m_nPidFd = -1;
      }
    } else {
      std::this_thread::sleep_for(std::min(pollStep, remaining));
      pollStep = std::min(pollStep * 2, std::chrono::milliseconds(50));
    }
  }
}

int CountProcessesByImageName(const std::wstring& strImageName) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir("/proc"));
  if (!dir) return -1;
  int nCount = 0;
  while (const dirent* pEntry = ::readdir(dir.get())) {
    const std::string strName = pEntry->d_name;
    if (strName.empty() || !std::all_of(strName.begin(), strName.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    // A process that ended since the listing gives an empty name and is skipped.
    const std::wstring strImage = ImageName(strName);
    if (!strImage.empty() && EqualsIgnoringCase(strImage, strImageName)) ++nCount;
  }
  return nCount;
}

}  // namespace platform
