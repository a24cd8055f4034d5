// Files and folders as the program needs them, on wide paths.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The separator of this system's paths ("\" on Windows, "/" on Linux).
extern const wchar_t kPathSeparator;
// Length of the shortest path below which nothing can be created: a bare drive
// root ("C:\") on Windows, "/" on Linux.
extern const std::size_t kRootPathLength;

bool PathExists(const std::wstring& strPath);
// Creates one folder; false (with the last error set) when it cannot.
bool MakeDirectory(const std::wstring& strPath);
bool DeleteFileAt(const std::wstring& strPath);
// Bytes free to the calling user on the volume that holds the folder.
bool GetFreeBytesAvailable(const std::wstring& strFolder, std::uint64_t& nBytes);

}  // namespace platform
