#include "platform/CommandLine.h"

namespace platform {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& strCommandLine) {
  std::vector<std::wstring> args;
  const std::wstring& s = strCommandLine;
  const std::size_t n = s.size();
  if (n == 0) return args;

  std::size_t i = 0;
  std::wstring strToken;
  if (s[0] == L'"') {
    for (i = 1; i < n && s[i] != L'"'; ++i) strToken += s[i];
    if (i < n) ++i;  // the closing quote ends the name even without a blank after it
  } else {
    for (; i < n && !IsBlank(s[i]); ++i) strToken += s[i];
  }
  args.push_back(strToken);
  while (i < n && IsBlank(s[i])) ++i;

  while (i < n) {
    std::wstring strArg;
    bool bQuoted = false;
    while (i < n && (bQuoted || !IsBlank(s[i]))) {
      if (s[i] == L'\\') {
        std::size_t nBackslashes = 0;
        while (i + nBackslashes < n && s[i + nBackslashes] == L'\\') ++nBackslashes;
        i += nBackslashes;
        if (i < n && s[i] == L'"') {
          strArg.append(nBackslashes / 2, L'\\');
          if (nBackslashes % 2 != 0) {
            strArg += L'"';
            ++i;
          }
          // An even run leaves the quote to the next round, where it opens or closes.
        } else {
          strArg.append(nBackslashes, L'\\');
        }
      } else if (s[i] == L'"') {
        if (bQuoted && i + 1 < n && s[i + 1] == L'"') {
          strArg += L'"';
          i += 2;
        } else {
          bQuoted = !bQuoted;
          ++i;
        }
      } else {
        strArg += s[i++];
      }
    }
    args.push_back(strArg);
    while (i < n && IsBlank(s[i])) ++i;
  }
  return args;
}

}  // namespace platform
