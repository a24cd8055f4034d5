// Reading the start of a small file (the pointer file, the install marker).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Up to nMaxBytes from the start of the file into strBytes; false (last
// error set) when the file cannot be opened or read.
bool ReadFileHead(const std::wstring& strPath, std::size_t nMaxBytes, std::string& strBytes);

}  // namespace platform
