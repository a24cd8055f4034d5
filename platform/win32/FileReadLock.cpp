#include "platform/FileReadLock.h"

#include <windows.h>

namespace platform {

bool CFileReadLock::Hold(const std::wstring& strPath) {
  Release();
  // Sharing for reading only: another open for writing, and a delete, rename
  // or replace (which need delete access), fail with a sharing violation.
  // Starting the file as a program opens it for reading and execution,
  // which this sharing lets through.
  HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  m_nHandle = reinterpret_cast<std::intptr_t>(hFile);
  return true;
}

void CFileReadLock::Release() {
  if (m_nHandle == kNone) return;
  const DWORD dwError = GetLastError();
  CloseHandle(reinterpret_cast<HANDLE>(m_nHandle));
  m_nHandle = kNone;
  SetLastError(dwError);
}

}  // namespace platform
