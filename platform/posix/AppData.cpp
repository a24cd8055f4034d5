#include "platform/AppData.h"

#include <cstdlib>

#include "platform/CodePage.h"

namespace platform {

bool GetCommonAppDataFolder(std::wstring& strFolder) {
  // Packaging and tests may move the machine-wide data elsewhere.
  const char* pOverride = std::getenv("FETCHLET_COMMON_APPDATA");
  strFolder = pOverride && *pOverride ? NarrowToWide(pOverride) : FallbackAppDataFolder();
  while (strFolder.size() > 1 && strFolder.back() == L'/') strFolder.pop_back();
  return true;
}

std::wstring FallbackAppDataFolder() { return L"/var/lib"; }

}  // namespace platform
