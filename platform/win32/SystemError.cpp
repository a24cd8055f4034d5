#include "platform/SystemError.h"

#include <windows.h>

#include <memory>

namespace platform {

namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t* p) const { LocalFree(p); }
};

}  // namespace

const unsigned long kPathTooLongError = ERROR_FILENAME_EXCED_RANGE;

unsigned long GetLastErrorCode() {
  return GetLastError();
}

void SetLastErrorCode(unsigned long nCode) {
  SetLastError(nCode);
}

std::wstring SystemErrorText(unsigned long nCode) {
  wchar_t* pBuffer = nullptr;
  const DWORD nLength = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, nCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&pBuffer), 0, nullptr);
  std::unique_ptr<wchar_t, LocalFreeDeleter> owner(pBuffer);
  if (nLength == 0 || pBuffer == nullptr) return {};
  // Kept as the system gives it, line break included: the log and the
  // status line show it that way.
  return std::wstring(pBuffer, nLength);
}

}  // namespace platform
