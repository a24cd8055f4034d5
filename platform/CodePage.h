// Conversion between wide text and the system's narrow ("ANSI") text: the
// active ANSI code page on Windows, UTF-8 on Linux.
#pragma once

#include <string>

namespace platform {

std::wstring NarrowToWide(const std::string& strText);
std::string WideToNarrow(const std::wstring& strText);

}  // namespace platform
