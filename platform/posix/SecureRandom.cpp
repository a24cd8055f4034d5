#include "platform/SecureRandom.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

bool FillSecureRandom(unsigned char* pBytes, std::size_t nCount) {
  while (nCount > 0) {
    const ssize_t nGot = ::getrandom(pBytes, nCount, 0);
    if (nGot < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    pBytes += nGot;
    nCount -= static_cast<std::size_t>(nGot);
  }
  return true;
}

}  // namespace platform
