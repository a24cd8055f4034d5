#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/AppData.h"
#include "platform/CodePage.h"

namespace platform {

bool IsAnotherInstanceRunning() {
  // The lock is held through this descriptor until the process ends.
  static int s_nLockFd = -1;
  if (s_nLockFd >= 0) return false;

  std::wstring strFolder;
  GetCommonAppDataFolder(strFolder);
  const std::string strDataFolder = WideToNarrow(strFolder) + "/Tarn.net";
  ::mkdir(strDataFolder.c_str(), 0755);
  const std::string strLockFile = strDataFolder + "/Fetchlet.lock";
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
