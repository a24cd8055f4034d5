#include "platform/InstallLocation.h"

#include "platform/FileSystem.h"

namespace platform {

std::wstring DefaultInstallFolder() { return L"/opt/TarnGame/ashfallbattle"; }

std::wstring ChooseDefaultBaseFolder() {
  std::uint64_t nFree = 0;
  if (GetFreeBytesAvailable(L"/opt", nFree) && (nFree >> 20) > kDefaultBaseMinFreeMiB) return L"/opt";
  return std::wstring();
}

}  // namespace platform
