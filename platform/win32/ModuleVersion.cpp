#include "platform/ModuleVersion.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/OwnProgramPath.h"

namespace platform {

bool ReadModuleVersion(ModuleVersion& version) {
  const std::wstring strPath = OwnProgramPath();
  if (strPath.empty()) return false;
  const wchar_t* szPath = strPath.c_str();

  DWORD dwHandle = 0;
  const DWORD nInfoSize = GetFileVersionInfoSizeW(szPath, &dwHandle);
  if (nInfoSize == 0) return false;
  std::vector<BYTE> info(nInfoSize);
  if (!GetFileVersionInfoW(szPath, 0, nInfoSize, info.data())) return false;

  ModuleVersion result;
  // The Chinese (PRC), UTF-16 string block: the tag travels in OriginalFilename.
  void* pName = nullptr;
  UINT nNameLength = 0;
  if (VerQueryValueW(info.data(), L"\\StringFileInfo\\080404b0\\OriginalFilename", &pName,
                     &nNameLength) &&
      pName != nullptr) {
    const auto* szName = static_cast<const wchar_t*>(pName);
    result.bHasOriginalFilename = true;
    result.strOriginalFilename.assign(szName, wcsnlen(szName, nNameLength));
  }

  void* pFixed = nullptr;
  UINT nFixedLength = 0;
  if (!VerQueryValueW(info.data(), L"\\", &pFixed, &nFixedLength) || pFixed == nullptr ||
      nFixedLength < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  const auto* pFileInfo = static_cast<const VS_FIXEDFILEINFO*>(pFixed);
  result.nFileVersionMS = pFileInfo->dwFileVersionMS;
  result.nFileVersionLS = pFileInfo->dwFileVersionLS;
  result.nProductVersionLS = pFileInfo->dwProductVersionLS;
  version = std::move(result);
  return true;
}

}  // namespace platform
