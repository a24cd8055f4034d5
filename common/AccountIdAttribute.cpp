#include "common/AccountIdAttribute.h"

#include <cstddef>

#include "common/AccountSlot.h"

namespace {

constexpr std::uint8_t kTagOctetString = 0x04;
constexpr std::uint8_t kTagUtf8String = 0x0C;
// No UTF-16 unit takes more than three UTF-8 bytes: content beyond this is
// too long before it is decoded.
constexpr std::size_t kMaxContentBytes = 3 * kAccountIdMaxUnits;

std::wstring Refuse(std::string& strProblem, std::string strWhy) {
  strProblem = std::move(strWhy);
  return {};
}

// The DER content's offset and length; false when the header is malformed
// or the item does not fill the value exactly.
bool ReadHeader(const std::vector<std::uint8_t>& value, std::size_t& nContent, std::size_t& nLength) {
  if (value.size() < 2) return false;
  const std::uint8_t nFirst = value[1];
  if (nFirst < 0x80) {
    nContent = 2;
    nLength = nFirst;
  } else {
    const std::size_t nCount = nFirst & 0x7F;
    // Indefinite lengths and lengths of more than four bytes are not DER here.
    if (nCount == 0 || nCount > 4 || value.size() < 2 + nCount) return false;
    nLength = 0;
    for (std::size_t i = 0; i < nCount; ++i) nLength = (nLength << 8) | value[2 + i];
    // DER writes every length in its shortest form.
    if (nLength < 0x80 || (nLength >> (8 * (nCount - 1))) == 0) return false;
    nContent = 2 + nCount;
  }
  return value.size() - nContent == nLength;
}

// Strict UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF) into
// code points; false for anything else.
bool DecodeUtf8(const std::uint8_t* p, std::size_t nSize, std::u32string& strOut) {
  for (std::size_t i = 0; i < nSize;) {
    const std::uint8_t c = p[i];
    std::size_t nMore = 0;
    char32_t nCode = 0, nMin = 0;
    if (c < 0x80) {
      nCode = c;
    } else if ((c & 0xE0) == 0xC0) {
      nMore = 1, nCode = c & 0x1F, nMin = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      nMore = 2, nCode = c & 0x0F, nMin = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      nMore = 3, nCode = c & 0x07, nMin = 0x10000;
    } else {
      return false;
    }
    if (nSize - i - 1 < nMore) return false;
    for (std::size_t k = 1; k <= nMore; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      nCode = (nCode << 6) | (p[i + k] & 0x3F);
    }
    if (nCode < nMin || nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF)) return false;
    strOut += nCode;
    i += nMore + 1;
  }
  return true;
}

}  // namespace

std::wstring DecodeAccountIdValue(const std::vector<std::uint8_t>& value, std::string& strProblem) {
  strProblem.clear();
  std::size_t nContent = 0, nLength = 0;
  if (!ReadHeader(value, nContent, nLength)) return Refuse(strProblem, "the value is not one DER item");
  if (value[0] != kTagUtf8String && value[0] != kTagOctetString) {
    const char* szHex = "0123456789abcdef";
    return Refuse(strProblem, std::string("the value is not a UTF8String or OCTET STRING (tag 0x") +
                                  szHex[value[0] >> 4] + szHex[value[0] & 0xF] + ")");
  }
  if (nLength > kMaxContentBytes) {
    return Refuse(strProblem, "the account id is longer than " + std::to_string(kAccountIdMaxUnits) + " UTF-16 units");
  }
  std::u32string strCodes;
  if (!DecodeUtf8(value.data() + nContent, nLength, strCodes)) return Refuse(strProblem, "the account id is not UTF-8");

  std::size_t nUnits = 0;
  std::wstring strId;
  for (const char32_t nCode : strCodes) {
    if (nCode == 0) return Refuse(strProblem, "the account id holds a NUL");
    if constexpr (sizeof(wchar_t) == 2) {
      if (nCode > 0xFFFF) {
        strId += static_cast<wchar_t>(0xD800 + ((nCode - 0x10000) >> 10));
        strId += static_cast<wchar_t>(0xDC00 + ((nCode - 0x10000) & 0x3FF));
      } else {
        strId += static_cast<wchar_t>(nCode);
      }
    } else {
      strId += static_cast<wchar_t>(nCode);
    }
    nUnits += nCode > 0xFFFF ? 2 : 1;
  }
  if (strId.empty()) return Refuse(strProblem, "the account id is empty");
  if (nUnits > kAccountIdMaxUnits) {
    return Refuse(strProblem, "the account id is " + std::to_string(nUnits) + " UTF-16 units long; at most " +
                                  std::to_string(kAccountIdMaxUnits) + " fit");
  }
  // Where a slot starting with "[" counts as empty, such an id is none either.
  if (strId[0] == L'[') return Refuse(strProblem, "the account id starts with \"[\"");
  return strId;
}

std::wstring AccountIdFromSignatureAttributes(const std::vector<platform::SignatureAttribute>& attributes,
                                              std::string& strProblem) {
  strProblem.clear();
  const platform::SignatureAttribute* pFound = nullptr;
  std::size_t nFound = 0;
  for (const platform::SignatureAttribute& attribute : attributes) {
    if (attribute.strObjectId != kAccountIdAttributeOid) continue;
    pFound = &attribute;
    ++nFound;
  }
  if (nFound == 0) return {};
  // Which of two ids would be the user's cannot be told: neither is.
  if (nFound > 1) return Refuse(strProblem, "the signature carries " + std::to_string(nFound) + " account-id attributes");
  if (pFound->values.size() != 1) {
    return Refuse(strProblem, "the account-id attribute holds " + std::to_string(pFound->values.size()) + " values");
  }
  return DecodeAccountIdValue(pFound->values[0], strProblem);
}
