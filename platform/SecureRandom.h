// Bytes from the operating system's cryptographic random source.
#pragma once

#include <cstddef>

namespace platform {

bool FillSecureRandom(unsigned char* pBytes, std::size_t nCount);

}  // namespace platform
