#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/DataFolder.h"

namespace platform {

bool IsAnotherInstanceRunning() {
  // The lock is held through this descriptor until the process ends.
  static int s_nLockFd = -1;
  if (s_nLockFd >= 0) return false;

  const std::string strLockFile = EnsureDataFolder() + "/Fetchlet.lock";
  const int nFd = ::open(strLockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (nFd < 0) return false;  // no key to hold: nothing can be detected either
  if (::flock(nFd, LOCK_EX | LOCK_NB) != 0) {
    const bool bHeld = errno == EWOULDBLOCK;
    ::close(nFd);
    return bHeld;
  }
  s_nLockFd = nFd;
  return false;
}

}  // namespace platform
