// The profile-string semantics on Linux: section and key match without regard
// to letter case, values are trimmed (and lose one pair of enclosing quotes),
// the first match wins, a value reads at most 255 characters, and a write
// replaces the file as a whole (temporary file + rename) so that the platform
// process sharing it never sees half a file.
#include "platform/IniFile.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cwctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/CodePage.h"

namespace platform {

namespace {

constexpr std::size_t kMaxValueLength = 255;  // a 256-unit buffer with its terminator

std::wstring Trim(const std::wstring& strText) {
  const auto first = strText.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return std::wstring();
  const auto last = strText.find_last_not_of(L" \t");
  return strText.substr(first, last - first + 1);
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  }
  return true;
}

// The file's lines as they are stored, line ends apart from the "\n": a
// rewrite keeps every other line's bytes, even those that are not valid text.
std::vector<std::string> ReadLines(const std::wstring& strFile, bool& bExists) {
  std::vector<std::string> lines;
  std::ifstream file(WideToNarrow(strFile), std::ios::binary);
  bExists = file.is_open();
  if (!bExists) return lines;
  std::stringstream content;
  content << file.rdbuf();
  std::string strAll = content.str();
  if (strAll.size() >= 3 && strAll.compare(0, 3, "\xEF\xBB\xBF") == 0) strAll.erase(0, 3);
  std::size_t start = 0;
  while (start < strAll.size()) {
    std::size_t end = strAll.find('\n', start);
    if (end == std::string::npos) end = strAll.size();
    lines.push_back(strAll.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A stored line as text, without the "\r" of a CRLF line end.
std::wstring LineText(std::string strRaw) {
  if (!strRaw.empty() && strRaw.back() == '\r') strRaw.pop_back();
  return NarrowToWide(strRaw);
}

// The section's name when the line is a section header.
bool SectionName(const std::wstring& strLine, std::wstring& strName) {
  const std::wstring strTrimmed = Trim(strLine);
  if (strTrimmed.empty() || strTrimmed[0] != L'[') return false;
  const auto close = strTrimmed.find(L']');
  strName = Trim(strTrimmed.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
  return true;
}

// The key and value when the line is a key line.
bool KeyValue(const std::wstring& strLine, std::wstring& strKey, std::wstring& strValue) {
  const std::wstring strTrimmed = Trim(strLine);
  if (strTrimmed.empty() || strTrimmed[0] == L';') return false;
  const auto eq = strTrimmed.find(L'=');
  if (eq == std::wstring::npos) return false;
  strKey = Trim(strTrimmed.substr(0, eq));
  strValue = Trim(strTrimmed.substr(eq + 1));
  if (strValue.size() >= 2 && (strValue.front() == L'"' || strValue.front() == L'\'') &&
      strValue.back() == strValue.front()) {
    strValue = strValue.substr(1, strValue.size() - 2);
  }
  return true;
}

}  // namespace

std::wstring ReadIniString(const std::wstring& strFile, const std::wstring& strSection, const std::wstring& strKey) {
  bool bExists = false;
  bool bInSection = false;
  for (const auto& strRaw : ReadLines(strFile, bExists)) {
    const std::wstring strLine = LineText(strRaw);
    std::wstring strName, strLineKey, strValue;
    if (SectionName(strLine, strName)) {
      bInSection = EqualsNoCase(strName, Trim(strSection));
    } else if (bInSection && KeyValue(strLine, strLineKey, strValue) && EqualsNoCase(strLineKey, Trim(strKey))) {
      if (strValue.size() > kMaxValueLength) strValue.resize(kMaxValueLength);
      return strValue;
    }
  }
  return std::wstring();
}

bool WriteIniString(const std::wstring& strFile, const std::wstring& strSection, const std::wstring& strKey,
                    const std::wstring& strValue) {
  // A line break would split the value into lines of its own.
  if (strValue.find_first_of(L"\r\n") != std::wstring::npos || strKey.find_first_of(L"\r\n=") != std::wstring::npos ||
      strSection.find_first_of(L"\r\n]") != std::wstring::npos || Trim(strKey).empty()) {
    return false;
  }
  bool bExists = false;
  std::vector<std::string> lines = ReadLines(strFile, bExists);
  while (!lines.empty() && Trim(LineText(lines.back())).empty()) lines.pop_back();

  const std::string strNewLine = WideToNarrow(Trim(strKey) + L"=" + strValue);
  bool bInSection = false;
  bool bDone = false;
  std::size_t nSectionEnd = std::wstring::npos;  // one past the section's last key line
  for (std::size_t i = 0; i < lines.size() && !bDone; ++i) {
    const std::wstring strLine = LineText(lines[i]);
    std::wstring strName, strLineKey, strLineValue;
    if (SectionName(strLine, strName)) {
      if (bInSection) break;
      bInSection = EqualsNoCase(strName, Trim(strSection));
      if (bInSection) nSectionEnd = i + 1;
    } else if (bInSection) {
      if (KeyValue(strLine, strLineKey, strLineValue) && EqualsNoCase(strLineKey, Trim(strKey))) {
        lines[i] = strNewLine;
        bDone = true;
      } else if (!Trim(strLine).empty()) {
        nSectionEnd = i + 1;
      }
    }
  }
  if (!bDone) {
    if (nSectionEnd != std::wstring::npos) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(nSectionEnd), strNewLine);
    } else {
      lines.push_back(WideToNarrow(L"[" + Trim(strSection) + L"]"));
      lines.push_back(strNewLine);
    }
  }

  static std::atomic<unsigned> s_nTempCounter{0};
  const std::string strPath = WideToNarrow(strFile);
  const std::string strTemp =
      strPath + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(s_nTempCounter++);
  {
    std::ofstream out(strTemp, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    for (const auto& strLine : lines) out << strLine << '\n';
    out.flush();
    if (!out.good()) {
      out.close();
      std::remove(strTemp.c_str());
      return false;
    }
  }
  if (std::rename(strTemp.c_str(), strPath.c_str()) != 0) {
    std::remove(strTemp.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
