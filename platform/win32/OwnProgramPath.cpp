#include "platform/win32/OwnProgramPath.h"

#include <windows.h>

namespace platform {

std::wstring OwnProgramPath() {
  // A cut path names another file: the buffer grows until the whole path fits.
  std::wstring strPath(MAX_PATH, L'\0');
  for (;;) {
    const DWORD nLength = GetModuleFileNameW(nullptr, strPath.data(), static_cast<DWORD>(strPath.size()));
    if (nLength == 0) return {};
    if (nLength < strPath.size()) {
      strPath.resize(nLength);
      return strPath;
    }
    if (strPath.size() >= 32768) return {};
    strPath.resize(strPath.size() * 2);
  }
}

}  // namespace platform
