// MD5 (RFC 1321) over bytes in memory, as lower-case hexadecimal text. Used
// only to sign requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CMD5Checksum {
public:
  CMD5Checksum();
  virtual ~CMD5Checksum() = default;

  static std::string GetMD5(const unsigned char* pBuf, std::size_t nLength);

  void Update(const unsigned char* pInput, std::size_t nInputLen);
  // Pads, appends the length and returns the 32-digit digest text.
  std::string Final();

private:
  void Transform(const unsigned char block[64]);

  unsigned char m_lpszBuffer[64];
  std::uint32_t m_nCount[2];
  std::uint32_t m_lMD5[4];
};
