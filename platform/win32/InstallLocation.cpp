#include "platform/InstallLocation.h"

namespace platform {

std::wstring DefaultInstallFolder() {
  // Fixed text, whatever the system calls its 32-bit program folder.
  return L"C:\\Program Files (x86)\\TarnGame\\ashfallbattle";
}

}  // namespace platform
