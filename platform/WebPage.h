// Opening a web page in the user's default browser.
#pragma once

#include <string>

namespace platform {

// Hands the address to the system's browser and does not wait for it; false
// when no browser could be asked.
bool OpenWebPage(const std::wstring& strUrl);

}  // namespace platform
