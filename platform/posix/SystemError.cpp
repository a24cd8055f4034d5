#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

#include "platform/CodePage.h"

namespace platform {

const unsigned long kPathTooLongError = ENAMETOOLONG;

unsigned long GetLastErrorCode() { return static_cast<unsigned long>(errno); }

void SetLastErrorCode(unsigned long nCode) { errno = static_cast<int>(nCode); }

std::wstring SystemErrorText(unsigned long nCode) {
  char szBuffer[256] = {};
  // The GNU strerror_r returns the text, which may not be the buffer.
  const char* pText = ::strerror_r(static_cast<int>(nCode), szBuffer, sizeof(szBuffer));
  if (!pText || !*pText) return std::wstring();
  return NarrowToWide(pText) + L"\n";
}

}  // namespace platform
