#include "platform/CodePage.h"

#include <windows.h>

namespace platform {

// Both directions ask for the length with the terminator first: 1 or less
// means empty input or text the code page refuses, and both give "".

std::wstring NarrowToWide(const std::string& strText) {
  const int nLength = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, strText.c_str(), -1, nullptr, 0);
  if (nLength <= 1) return {};
  std::wstring strWide(static_cast<std::size_t>(nLength), L'\0');
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, strText.c_str(), -1, strWide.data(), nLength) !=
      nLength) {
    return {};
  }
  strWide.resize(static_cast<std::size_t>(nLength) - 1);
  return strWide;
}

std::string WideToNarrow(const std::wstring& strText) {
  const int nLength =
      WideCharToMultiByte(CP_ACP, 0, strText.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (nLength <= 1) return {};
  std::string strNarrow(static_cast<std::size_t>(nLength), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, strText.c_str(), -1, strNarrow.data(), nLength, nullptr,
                          nullptr) != nLength) {
    return {};
  }
  strNarrow.resize(static_cast<std::size_t>(nLength) - 1);
  return strNarrow;
}

}  // namespace platform
