#include "ui/win32/FolderPicker.h"

#include <shlobj.h>

#include "ui/win32/ComApartment.h"

namespace {

constexpr const wchar_t* kPickerTitle = L"选择《Ashfall》安装位置";

}  // namespace

std::wstring PickInstallFolder(HWND hOwner) {
  CComApartment apartment;

  wchar_t szDisplayName[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = hOwner;
  info.pidlRoot = nullptr;
  info.pszDisplayName = szDisplayName;
  info.lpszTitle = kPickerTitle;
  info.ulFlags = BIF_USENEWUI;  // BIF_NEWDIALOGSTYLE | BIF_EDITBOX
  PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&info);
  if (pidl == nullptr) return std::wstring();

  wchar_t szPath[MAX_PATH] = {};
  const BOOL bIsPath = SHGetPathFromIDListW(pidl, szPath);
  CoTaskMemFree(pidl);
  return bIsPath ? std::wstring(szPath) : std::wstring();
}
