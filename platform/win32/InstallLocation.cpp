#include "platform/InstallLocation.h"

#include <windows.h>

namespace platform {

std::wstring DefaultInstallFolder() { return L"C:\\Program Files (x86)\\TarnGame\\ashfallbattle"; }

std::wstring ChooseDefaultBaseFolder() {
  std::wstring strBest;
  unsigned long long nBestMiB = 0;
  const DWORD dwDrives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((dwDrives & (1u << i)) == 0) continue;
    const std::wstring strDrive{static_cast<wchar_t>(L'A' + i), L':'};
    if (GetDriveTypeW(strDrive.c_str()) != DRIVE_FIXED) continue;
    ULARGE_INTEGER freeToCaller{};
    if (!GetDiskFreeSpaceExW(strDrive.c_str(), &freeToCaller, nullptr, nullptr)) continue;
    const unsigned long long nFreeMiB = freeToCaller.QuadPart >> 20;
    // Strictly more: on equal space the earlier letter stays.
    if (nFreeMiB > kDefaultBaseMinFreeMiB && nFreeMiB > nBestMiB) {
      strBest = strDrive;
      nBestMiB = nFreeMiB;
    }
  }
  return strBest;
}

}  // namespace platform
