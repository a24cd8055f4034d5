#include "platform/AppData.h"

#include <windows.h>
#include <shlobj.h>

namespace platform {

bool GetCommonAppDataFolder(std::wstring& strFolder) {
  wchar_t szPath[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, szPath) != S_OK) return false;
  strFolder = szPath;
  return true;
}

std::wstring FallbackAppDataFolder() {
  return L"C:\\ProgramData";
}

}  // namespace platform
