#include "platform/OutputFile.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

// WriteFile takes a 32-bit count; larger writes go in pieces of this size.
constexpr std::size_t kLargestWrite = 1u << 30;

HANDLE ToHandle(std::intptr_t nHandle) {
  return reinterpret_cast<HANDLE>(nHandle);
}

bool Fail(DWORD nError) {
  SetLastError(nError);
  return false;
}

}  // namespace

COutputFile::~COutputFile() {
  const DWORD nError = GetLastError();
  Close();
  SetLastError(nError);
}

bool COutputFile::Open(const std::wstring& strPath, bool bAppend) {
  Close();
  // Shared both ways, as a C runtime file stream is: other processes may
  // read the file while it grows.
  HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             bAppend ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  m_nHandle = reinterpret_cast<std::intptr_t>(hFile);
  if (bAppend && !SetFilePointerEx(hFile, LARGE_INTEGER{}, nullptr, FILE_END)) {
    const DWORD nError = GetLastError();
    Close();
    return Fail(nError);
  }
  // CreateFileW leaves ERROR_ALREADY_EXISTS behind on success.
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool COutputFile::Write(const char* pData, std::size_t nLength) {
  if (!IsOpen()) return Fail(ERROR_INVALID_HANDLE);
  if (pData == nullptr && nLength != 0) return Fail(ERROR_INVALID_PARAMETER);
  while (nLength > 0) {
    const DWORD nChunk = static_cast<DWORD>(std::min(nLength, kLargestWrite));
    DWORD nWritten = 0;
    if (!WriteFile(ToHandle(m_nHandle), pData, nChunk, &nWritten, nullptr)) return false;
    // A write that reports success but moved nothing would loop for ever.
    if (nWritten == 0) return Fail(ERROR_WRITE_FAULT);
    pData += nWritten;
    nLength -= nWritten;
  }
  return true;
}

void COutputFile::Reserve(std::uint64_t /*nBytes*/) {
  // NTFS lays out appended data well enough; reserving would need the file's
  // size to change, which must keep meaning "bytes held".
}

bool COutputFile::Size(std::uint64_t& nSize) const {
  if (!IsOpen()) return Fail(ERROR_INVALID_HANDLE);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(ToHandle(m_nHandle), &size)) return false;
  nSize = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

bool COutputFile::Close() {
  if (!IsOpen()) return true;
  const HANDLE hFile = ToHandle(m_nHandle);
  m_nHandle = -1;
  // The last buffered bytes can still fail to reach the disk here.
  return CloseHandle(hFile) != FALSE;
}

bool GetFileSize(const std::wstring& strPath, std::uint64_t& nSize) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Fail(ERROR_FILE_NOT_FOUND);
  nSize = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

}  // namespace platform
