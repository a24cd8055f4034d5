// What the road reads from files others write: the pointer file's installer
// name and the install folder's marker, and a folder typed by the user. No
// input crashes them, and what they accept keeps their rules.
#include <cstddef>
#include <cstdint>
#include <string>

#include "road/DownloadUrl.h"
#include "road/InstallFolderRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string strInput(reinterpret_cast<const char*>(pData), nSize);
  const std::wstring strWide(strInput.begin(), strInput.end());

  if (IsValidInstallerName(strWide)) {
    if (strWide.size() < 3 || strWide.size() > 100 || strWide.compare(strWide.size() - 3, 3, L"exe") != 0) {
      __builtin_trap();
    }
  }
  const std::string strMarker = ParseMarkerValue(strInput);
  if (strMarker.size() > strInput.size() || strMarker.find('\0') != std::string::npos) __builtin_trap();

  for (PathStyle style : {PathStyle::Windows, PathStyle::Posix}) {
    const std::wstring strDrive = FolderDrive(strWide, style);
    if (strDrive.size() > strWide.size()) __builtin_trap();
    // An accepted folder goes between quotes on the installer's command line.
    if (!strDrive.empty() && strWide.find(L'"') != std::wstring::npos) __builtin_trap();
  }
  return 0;
}
