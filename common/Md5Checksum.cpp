#include "common/Md5Checksum.h"

#include <cstring>

namespace {

constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

constexpr std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
constexpr std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & z) | (y & ~z); }
constexpr std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
constexpr std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

// Per-step shift amounts and additive constants of RFC 1321.
constexpr int kShift[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
constexpr std::uint32_t kConstant[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

std::uint32_t ReadLittleEndian(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteLittleEndian(std::uint32_t value, unsigned char* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

CMD5Checksum::CMD5Checksum() {
  std::memset(m_lpszBuffer, 0, sizeof(m_lpszBuffer));
  m_nCount[0] = m_nCount[1] = 0;
  m_lMD5[0] = 0x67452301;
  m_lMD5[1] = 0xEFCDAB89;
  m_lMD5[2] = 0x98BADCFE;
  m_lMD5[3] = 0x10325476;
}

std::string CMD5Checksum::GetMD5(const unsigned char* pBuf, std::size_t nLength) {
  CMD5Checksum md5;
  md5.Update(pBuf, nLength);
  return md5.Final();
}

void CMD5Checksum::Transform(const unsigned char block[64]) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = ReadLittleEndian(block + 4 * i);

  std::uint32_t a = m_lMD5[0], b = m_lMD5[1], c = m_lMD5[2], d = m_lMD5[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int g;
    if (i < 16) {
      f = F(b, c, d);
      g = i;
    } else if (i < 32) {
      f = G(b, c, d);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = H(b, c, d);
      g = (3 * i + 5) % 16;
    } else {
      f = I(b, c, d);
      g = (7 * i) % 16;
    }
    const std::uint32_t next = b + RotateLeft(a + f + kConstant[i] + x[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  m_lMD5[0] += a;
  m_lMD5[1] += b;
  m_lMD5[2] += c;
  m_lMD5[3] += d;
}

void CMD5Checksum::Update(const unsigned char* pInput, std::size_t nInputLen) {
  std::size_t nIndex = (m_nCount[0] >> 3) & 0x3F;
  const std::uint64_t nBits = (static_cast<std::uint64_t>(m_nCount[1]) << 32 | m_nCount[0]) +
                              (static_cast<std::uint64_t>(nInputLen) << 3);
  m_nCount[0] = static_cast<std::uint32_t>(nBits);
  m_nCount[1] = static_cast<std::uint32_t>(nBits >> 32);

  const std::size_t nPartLen = 64 - nIndex;
  std::size_t i = 0;
  if (nInputLen >= nPartLen) {
    std::memcpy(m_lpszBuffer + nIndex, pInput, nPartLen);
    Transform(m_lpszBuffer);
    for (i = nPartLen; i + 63 < nInputLen; i += 64) Transform(pInput + i);
    nIndex = 0;
  }
  if (nInputLen > i) std::memcpy(m_lpszBuffer + nIndex, pInput + i, nInputLen - i);
}

std::string CMD5Checksum::Final() {
  unsigned char bits[8];
  WriteLittleEndian(m_nCount[0], bits);
  WriteLittleEndian(m_nCount[1], bits + 4);

  const std::size_t nIndex = (m_nCount[0] >> 3) & 0x3F;
  const std::size_t nPadLen = nIndex < 56 ? 56 - nIndex : 120 - nIndex;
  static const unsigned char kPadding[64] = {0x80};
  Update(kPadding, nPadLen);
  Update(bits, 8);

  unsigned char digest[16];
  for (int i = 0; i < 4; ++i) WriteLittleEndian(m_lMD5[i], digest + 4 * i);
  static const char kHex[] = "0123456789abcdef";
  std::string strText;
  strText.reserve(32);
  for (unsigned char byte : digest) {
    strText += kHex[byte >> 4];
    strText += kHex[byte & 0x0F];
  }
  return strText;
}
