#include "platform/WebPage.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

namespace platform {

bool OpenWebPage(const std::wstring& strUrl) {
  // Values up to 32 are error codes; anything above means the page was handed over.
  const HINSTANCE hResult = ShellExecuteW(nullptr, L"Open", strUrl.c_str(), nullptr, nullptr, SW_SHOW);
  return reinterpret_cast<std::intptr_t>(hResult) > 32;
}

}  // namespace platform
