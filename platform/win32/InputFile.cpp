#include "platform/InputFile.h"

#include <windows.h>

namespace platform {

bool ReadFileHead(const std::wstring& strPath, std::size_t nMaxBytes, std::string& strBytes) {
  strBytes.clear();
  HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  strBytes.resize(nMaxBytes);
  std::size_t nRead = 0;
  bool bOk = true;
  while (nRead < nMaxBytes) {
    DWORD dwRead = 0;
    if (!::ReadFile(hFile, strBytes.data() + nRead, static_cast<DWORD>(nMaxBytes - nRead), &dwRead, nullptr)) {
      bOk = false;
      break;
    }
    if (dwRead == 0) break;
    nRead += dwRead;
  }
  const DWORD dwError = GetLastError();
  CloseHandle(hFile);
  strBytes.resize(nRead);
  if (!bOk) SetLastError(dwError);
  return bOk;
}

}  // namespace platform
