// Splitting a Windows command line into arguments, for the systems whose
// programs take an argument vector instead of one line. Portable: the Linux
// process service uses it, and the Windows build tests it against the system.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The arguments CommandLineToArgvW gives for the line, program name first: the
// program name ends at the first blank (space or tab) or, when it starts with a
// quote, at the next quote, and backslashes mean nothing in it; a line that
// starts with a blank gives an empty program name. In the other arguments
// 2N backslashes and a quote are N backslashes and a quote that opens or
// closes a quoted part, 2N+1 backslashes and a quote are N backslashes and a
// literal quote, other backslashes are literal, and two quotes inside a quoted
// part are one literal quote. An empty line gives no arguments at all.
std::vector<std::wstring> SplitCommandLine(const std::wstring& strCommandLine);

}  // namespace platform
