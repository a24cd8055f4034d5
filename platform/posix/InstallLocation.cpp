#include "platform/InstallLocation.h"

namespace platform {

std::wstring DefaultInstallFolder() { return L"/opt/TarnGame/ashfallbattle"; }

}  // namespace platform
