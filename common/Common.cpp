#include "common/Common.h"

#include <array>
#include <cstdio>
#include <random>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/SecureRandom.h"
#include "platform/SystemError.h"

namespace {

// Longest path CreateMultiDir handles: a 260-unit buffer with the added
// separator and the terminator.
constexpr std::size_t kMaxDirPath = 260 - 2;
constexpr std::size_t kMaxVersionText = 63;

// UTF-16 code units of wide text (wchar_t is UTF-32 on Linux): keeps the
// encoder's output the same on both systems.
std::u16string ToUtf16Units(const std::wstring& strText) {
  std::u16string units;
  units.reserve(strText.size());
  for (wchar_t wc : strText) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c > 0xFFFF && c <= 0x10FFFF) {
      c -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(c & 0xFFFF));
    }
  }
  return units;
}

bool IsUnreservedForForm(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) return true;
  switch (c) {
    case u'-': case u'_': case u'.': case u'!': case u'~':
    case u'*': case u'\'': case u'(': case u')':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::wstring AnsiToWide(const std::string& strText) {
  return strText.empty() ? std::wstring() : platform::NarrowToWide(strText);
}

std::string WideToAnsi(const std::wstring& strText) {
  return strText.empty() ? std::string() : platform::WideToNarrow(strText);
}

std::string WideToUtf8(const std::wstring& strText) {
  std::string strOut;
  strOut.reserve(strText.size());
  for (std::size_t i = 0; i < strText.size(); ++i) {
    char32_t c = static_cast<char32_t>(static_cast<std::uint32_t>(strText[i]));
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < strText.size()) {
      const auto low = static_cast<char32_t>(static_cast<std::uint32_t>(strText[i + 1]));
      if (low >= 0xDC00 && low <= 0xDFFF) {  // a UTF-16 pair (Windows)
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
      strOut += static_cast<char>(c);
    } else if (c < 0x800) {
      strOut += static_cast<char>(0xC0 | (c >> 6));
      strOut += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      strOut += static_cast<char>(0xE0 | (c >> 12));
      strOut += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      strOut += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      strOut += static_cast<char>(0xF0 | (c >> 18));
      strOut += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      strOut += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      strOut += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return strOut;
}

std::wstring GetLastErrorText() {
  const unsigned long nCode = platform::GetLastErrorCode();
  return nCode == 0 ? std::wstring() : platform::SystemErrorText(nCode);
}

bool CreateMultiDir(const std::wstring& strPath) {
  if (strPath.size() <= platform::kRootPathLength) return false;
  if (strPath.size() > kMaxDirPath) {
    // The caller shows the system's reason: it must not be empty.
    platform::SetLastErrorCode(platform::kPathTooLongError);
    return false;
  }
  std::wstring strFull = strPath;
  if (strFull.back() != platform::kPathSeparator) strFull += platform::kPathSeparator;

  bool bFirstSeparator = true;
  for (std::size_t i = 0; i < strFull.size(); ++i) {
    if (strFull[i] != platform::kPathSeparator) continue;
    if (bFirstSeparator) {  // the root is never checked
      bFirstSeparator = false;
      continue;
    }
    const std::wstring strPrefix = strFull.substr(0, i);
    if (!platform::PathExists(strPrefix) && !platform::MakeDirectory(strPrefix)) return false;
  }
  return true;
}

std::uint64_t GetFreeDiskSpace(const std::wstring& strFolder) {
  std::uint64_t nBytes = 0;
  return platform::GetFreeBytesAvailable(strFolder, nBytes) ? nBytes : 0;
}

std::wstring CreateGuidString() {
  std::array<unsigned char, 16> bytes{};
  if (!platform::FillSecureRandom(bytes.data(), bytes.size())) {
    // The system's source failing is next to impossible; never hand out a
    // fixed id because of it.
    std::random_device device;
    for (auto& b : bytes) b = static_cast<unsigned char>(device());
  }
  bytes[6] = static_cast<unsigned char>(0x40 | (bytes[6] & 0x0F));  // version 4
  bytes[8] = static_cast<unsigned char>(0x80 | (bytes[8] & 0x3F));  // variant 10xx
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring strGuid;
  strGuid.reserve(32);
  for (unsigned char b : bytes) {
    strGuid += kHex[b >> 4];
    strGuid += kHex[b & 0x0F];
  }
  return strGuid;
}

std::wstring FormatModuleVersionText(const platform::ModuleVersion& version) {
  const std::wstring strName = version.bHasOriginalFilename ? version.strOriginalFilename : L"TarnNet";
  char szNumbers[64];
  std::snprintf(szNumbers, sizeof(szNumbers), "%d.%d.%d.%d.",
                static_cast<int>(version.nFileVersionMS >> 16),
                static_cast<int>(version.nFileVersionMS & 0xFFFF),
                static_cast<int>(version.nFileVersionLS >> 16),
                static_cast<int>(version.nProductVersionLS & 0xFFFF));
  std::wstring strText(szNumbers, szNumbers + std::char_traits<char>::length(szNumbers));
  strText += strName;
  if (strText.size() > kMaxVersionText) strText.resize(kMaxVersionText);
  return strText;
}

std::wstring GetModuleVersionText() {
  platform::ModuleVersion version;
  return platform::ReadModuleVersion(version) ? FormatModuleVersionText(version) : std::wstring();
}

std::wstring UrlEncode(const std::wstring& strText) {
  static const auto kPercentCodes = [] {
    std::array<std::array<wchar_t, 3>, 256> codes{};
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    for (int i = 0; i < 256; ++i) codes[i] = {L'%', kHex[i >> 4], kHex[i & 0x0F]};
    return codes;
  }();
  auto appendByte = [&](std::wstring& out, unsigned value) {
    const auto& code = kPercentCodes[value & 0xFF];
    out.append(code.begin(), code.end());
  };

  std::wstring strOut;
  for (char16_t c : ToUtf16Units(strText)) {
    if (IsUnreservedForForm(c)) {
      strOut += static_cast<wchar_t>(c);
    } else if (c == u' ') {
      strOut += L'+';
    } else if (c <= 0x7F) {
      appendByte(strOut, c);
    } else if (c <= 0x7FF) {
      appendByte(strOut, 0xC0 | (c >> 6));
      appendByte(strOut, 0x80 | (c & 0x3F));
    } else {
      // Each half of a surrogate pair is encoded on its own, as the
      // statistics server has always received it.
      appendByte(strOut, 0xE0 | (c >> 12));
      appendByte(strOut, 0x80 | ((c >> 6) & 0x3F));
      appendByte(strOut, 0x80 | (c & 0x3F));
    }
  }
  return strOut;
}
