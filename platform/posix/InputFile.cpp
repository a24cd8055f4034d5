#include "platform/InputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CodePage.h"

namespace platform {

bool ReadFileHead(const std::wstring& strPath, std::size_t nMaxBytes, std::string& strBytes) {
  strBytes.clear();
  const int fd = ::open(WideToNarrow(strPath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  strBytes.resize(nMaxBytes);
  std::size_t nRead = 0;
  bool bOk = true;
  while (nRead < nMaxBytes) {
    const ssize_t n = ::read(fd, strBytes.data() + nRead, nMaxBytes - nRead);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) bOk = false;
    if (n <= 0) break;
    nRead += static_cast<std::size_t>(n);
  }
  const int nError = errno;
  ::close(fd);
  strBytes.resize(nRead);
  if (!bOk) errno = nError;
  return bOk;
}

}  // namespace platform
