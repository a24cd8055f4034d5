// The command line split the way CommandLineToArgvW splits it: the installer
// gets its switches and the install folder exactly as a Windows one would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CommandLine.h"

namespace {

using Args = std::vector<std::wstring>;

TEST(CommandLine, SplitsLikeCommandLineToArgvW) {
  const struct {
    const char* szName;
    std::wstring strLine;
    Args expected;
  } cases[] = {
      {"empty line", L"", {}},
      {"a lone blank", L" ", {L""}},
      {"program name only, trailing blanks", L"prog  \t", {L"prog"}},
      {"the installer's line",
       L" /verysilent /suppressmsgboxes /DIR=\"C:\\Program Files (x86)\\TarnGame\\ashfallbattle\"",
       {L"", L"/verysilent", L"/suppressmsgboxes", L"/DIR=C:\\Program Files (x86)\\TarnGame\\ashfallbattle"}},
      {"quoted program name with blanks", L"\"C:\\Program Files\\a.exe\" -x", {L"C:\\Program Files\\a.exe", L"-x"}},
      {"backslash before the name's closing quote is literal", L"\"C:\\dir\\\"rest x", {L"C:\\dir\\", L"rest", L"x"}},
      {"unquoted name keeps its quotes", L"a\"b c\" d", {L"a\"b", L"c d"}},
      {"folder ending in an escaped backslash", L"x /DIR=\"C:\\Games\\\\\" next", {L"x", L"/DIR=C:\\Games\\", L"next"}},
      {"folder ending in a lone backslash swallows the rest", L"x \"C:\\Games\\\" next", {L"x", L"C:\\Games\" next"}},
      {"quotes in the middle", L"x a\"b c\"d e", {L"x", L"ab cd", L"e"}},
      {"tabs separate, quoted tabs stay", L"x\ta\t\t\"b\tc\"", {L"x", L"a", L"b\tc"}},
      {"odd backslashes escape the quote", L"x a\\\\\\\"b", {L"x", L"a\\\"b"}},
      {"even backslashes halve and the quote opens", L"x a\\\\\\\\\"b c\" d", {L"x", L"a\\\\b c", L"d"}},
      {"backslashes without a quote are literal", L"x a\\\\b\\c\\", {L"x", L"a\\\\b\\c\\"}},
      {"two quotes inside quotes are one quote", L"x \"a\"\"b\" c", {L"x", L"a\"b", L"c"}},
      {"doubled quote keeps the part open", L"x a\"b\"\" c d", {L"x", L"ab\" c d"}},
      {"empty quoted argument", L"x \"\" y", {L"x", L"", L"y"}},
      {"unterminated quote runs to the end", L"x \"a  b", {L"x", L"a  b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    EXPECT_EQ(platform::SplitCommandLine(c.strLine), c.expected);
  }
}

}  // namespace
