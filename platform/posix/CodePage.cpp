// Linux narrow text is UTF-8; wide text is UTF-32. Invalid input becomes
// U+FFFD instead of ending the conversion.
#include "platform/CodePage.h"

#include <cstdint>

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::wstring NarrowToWide(const std::string& strText) {
  std::wstring out;
  out.reserve(strText.size());
  const auto* p = reinterpret_cast<const unsigned char*>(strText.data());
  const std::size_t n = strText.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char lead = p[i];
    int nTrail;
    char32_t c;
    char32_t nMin;
    if (lead < 0x80) {
      out += static_cast<wchar_t>(lead);
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      nTrail = 1, c = lead & 0x1F, nMin = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      nTrail = 2, c = lead & 0x0F, nMin = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      nTrail = 3, c = lead & 0x07, nMin = 0x10000;
    } else {
      out += static_cast<wchar_t>(kReplacement);
      ++i;
      continue;
    }
    std::size_t j = 1;
    for (; j <= static_cast<std::size_t>(nTrail) && i + j < n && (p[i + j] & 0xC0) == 0x80; ++j) {
      c = (c << 6) | (p[i + j] & 0x3F);
    }
    if (j <= static_cast<std::size_t>(nTrail) || c < nMin || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += static_cast<wchar_t>(kReplacement);
      i += j;  // skip the broken sequence as far as it went
      continue;
    }
    out += static_cast<wchar_t>(c);
    i += j;
  }
  return out;
}

std::string WideToNarrow(const std::wstring& strText) {
  std::string out;
  out.reserve(strText.size());
  for (wchar_t wc : strText) AppendUtf8(out, static_cast<char32_t>(static_cast<std::uint32_t>(wc)));
  return out;
}

}  // namespace platform
