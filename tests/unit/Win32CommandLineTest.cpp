// The own splitter against the system's CommandLineToArgvW on the same lines.
#ifdef _WIN32

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "platform/CommandLine.h"

namespace {

std::vector<std::wstring> SystemSplit(const std::wstring& strLine) {
  int nCount = 0;
  LPWSTR* pArgs = CommandLineToArgvW(strLine.c_str(), &nCount);
  if (pArgs == nullptr) return {L"<CommandLineToArgvW failed>"};
  std::vector<std::wstring> args(pArgs, pArgs + nCount);
  LocalFree(pArgs);
  return args;
}

// Wine's CommandLineToArgvW keeps the older rule for two quotes inside a
// quoted part (the second one also closes it); current Windows does not.
bool IsWine() {
  const HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
  return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

TEST(Win32CommandLine, MatchesCommandLineToArgvW) {
  // The empty line is left out: the system answers it with the program's own path.
  const wchar_t* lines[] = {
      L" ",
      L"prog  \t",
      L" /verysilent /suppressmsgboxes /DIR=\"C:\\Program Files (x86)\\TarnGame\\ashfallbattle\"",
      L"\"C:\\Program Files\\a.exe\" -x",
      L"\"C:\\dir\\\"rest x",
      L"a\"b c\" d",
      L"x /DIR=\"C:\\Games\\\\\" next",
      L"x \"C:\\Games\\\" next",
      L"x a\"b c\"d e",
      L"x\ta\t\t\"b\tc\"",
      L"x a\\\\\\\"b",
      L"x a\\\\\\\\\"b c\" d",
      L"x a\\\\b\\c\\",
      L"x \"\" y",
      L"x \"a  b",
  };
  const wchar_t* doubledQuotes[] = {
      L"x \"a\"\"b\" c",
      L"x a\"b\"\" c d",
  };
  std::vector<const wchar_t*> compared(std::begin(lines), std::end(lines));
  if (!IsWine()) compared.insert(compared.end(), std::begin(doubledQuotes), std::end(doubledQuotes));
  for (const wchar_t* pLine : compared) {
    SCOPED_TRACE(testing::Message() << "line: " << std::wstring(pLine));
    EXPECT_EQ(platform::SplitCommandLine(pLine), SystemSplit(pLine));
  }
}

}  // namespace

#endif  // _WIN32
