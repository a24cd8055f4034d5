#include "platform/ModuleVersion.h"

#include "FetchletVersion.h"

namespace platform {

bool ReadModuleVersion(ModuleVersion& version) {
  // The same numbers and tag that the Windows build carries in its resource.
  version.nFileVersionMS = (FETCHLET_VERSION_MAJOR << 16) | FETCHLET_VERSION_MINOR;
  version.nFileVersionLS = (FETCHLET_VERSION_PATCH << 16) | FETCHLET_VERSION_BUILD;
  version.nProductVersionLS = version.nFileVersionLS;
  version.bHasOriginalFilename = true;
  version.strOriginalFilename = L"" FETCHLET_VERSION_TAG;
  return true;
}

}  // namespace platform
