#include "platform/FileReadLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CodePage.h"

namespace platform {

// Linux has no share modes: an open descriptor denies nobody writing,
// renaming or deleting the file. It is held all the same, so that a file
// that cannot be read fails here as on Windows. On Linux only the
// permissions of the folders that hold the file keep it unchanged.
bool CFileReadLock::Hold(const std::wstring& strPath) {
  Release();
  const int nFd = ::open(WideToNarrow(strPath).c_str(), O_RDONLY | O_CLOEXEC);
  if (nFd < 0) return false;
  m_nHandle = nFd;
  return true;
}

void CFileReadLock::Release() {
  if (m_nHandle == kNone) return;
  const int nError = errno;
  ::close(static_cast<int>(m_nHandle));
  m_nHandle = kNone;
  errno = nError;
}

}  // namespace platform
