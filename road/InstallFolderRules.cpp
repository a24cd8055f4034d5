#include "road/InstallFolderRules.h"

#include <cwctype>

namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Characters no Windows file name may hold (the drive's colon aside).
bool IsForbiddenOnWindows(wchar_t c) {
  return c < 0x20 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' || c == L'*';
}

// Characters a Linux folder may hold but the installer's command line may
// not: the folder goes between quotes unchanged and the line is split by
// Windows rules, so a quote would end the argument and start others (given
// to an installer that runs as root), and a control character has no place
// in an argument or a status line.
bool IsForbiddenOnPosix(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == L'"'; }

}  // namespace

std::wstring FolderDrive(const std::wstring& strFolder, PathStyle style) {
  if (style == PathStyle::Posix) {
    if (strFolder.empty() || strFolder[0] != L'/') return std::wstring();
    for (wchar_t c : strFolder) {
      if (IsForbiddenOnPosix(c)) return std::wstring();
    }
    return strFolder;
  }
  const std::size_t nColon = strFolder.find(L':');
  if (nColon == std::wstring::npos) return std::wstring();
  // "C:\..." only: "C:Games" is relative to the drive's current folder and
  // "ab:c" names no drive at all.
  if (nColon != 1 || !IsDriveLetter(strFolder[0])) return std::wstring();
  if (strFolder.size() < 3 || (strFolder[2] != L'\\' && strFolder[2] != L'/')) return std::wstring();
  for (std::size_t i = 2; i < strFolder.size(); ++i) {
    if (IsForbiddenOnWindows(strFolder[i])) return std::wstring();
  }
  return strFolder.substr(0, nColon + 1);
}

std::string ParseMarkerValue(std::string strBytes) {
  const std::size_t nNul = strBytes.find('\0');
  if (nNul != std::string::npos) strBytes.resize(nNul);
  const std::size_t nEquals = strBytes.find('=');
  return nEquals == std::string::npos ? strBytes : strBytes.substr(nEquals + 1);
}

std::wstring MarkerText(const std::wstring& strVersion) { return L"FetchletVersion=" + strVersion; }
