#include "platform/FileSystem.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CodePage.h"

namespace platform {

const wchar_t kPathSeparator = L'/';
const std::size_t kRootPathLength = 1;

bool PathExists(const std::wstring& strPath) {
  struct stat st {};
  return ::stat(WideToNarrow(strPath).c_str(), &st) == 0;
}

bool MakeDirectory(const std::wstring& strPath) { return ::mkdir(WideToNarrow(strPath).c_str(), 0755) == 0; }

bool DeleteFileAt(const std::wstring& strPath) { return ::unlink(WideToNarrow(strPath).c_str()) == 0; }

bool GetFreeBytesAvailable(const std::wstring& strFolder, std::uint64_t& nBytes) {
  // A folder that does not exist yet will live on the file system of its
  // nearest existing ancestor, as a Windows folder lives on its drive.
  std::string strPath = WideToNarrow(strFolder);
  struct statvfs vfs {};
  while (::statvfs(strPath.c_str(), &vfs) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) return false;
    const std::size_t nSlash = strPath.find_last_of('/');
    if (nSlash == std::string::npos || strPath == "/") return false;
    strPath.resize(nSlash == 0 ? 1 : nSlash);
  }
  nBytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;  // what an unprivileged user may use
  return true;
}

}  // namespace platform
