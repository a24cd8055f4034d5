#include "platform/FileSystem.h"

#include <windows.h>
#include <shlwapi.h>

namespace platform {

const wchar_t kPathSeparator = L'\\';
const std::size_t kRootPathLength = 3;  // "C:\"

bool PathExists(const std::wstring& strPath) {
  return PathFileExistsW(strPath.c_str()) != FALSE;
}

bool MakeDirectory(const std::wstring& strPath) {
  return CreateDirectoryW(strPath.c_str(), nullptr) != FALSE;
}

bool DeleteFileAt(const std::wstring& strPath) {
  return DeleteFileW(strPath.c_str()) != FALSE;
}

bool GetFreeBytesAvailable(const std::wstring& strFolder, std::uint64_t& nBytes) {
  // The caller's share, not the volume's total: per-user quotas count.
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(strFolder.c_str(), &available, nullptr, nullptr)) return false;
  nBytes = available.QuadPart;
  return true;
}

}  // namespace platform
