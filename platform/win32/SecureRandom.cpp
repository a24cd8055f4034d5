#include "platform/SecureRandom.h"

#include <windows.h>
#include <bcrypt.h>

#include <climits>

namespace platform {

bool FillSecureRandom(unsigned char* pBytes, std::size_t nCount) {
  while (nCount > 0) {
    const ULONG nChunk = nCount > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(nCount);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, pBytes, nChunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      return false;
    }
    pBytes += nChunk;
    nCount -= nChunk;
  }
  return true;
}

}  // namespace platform
