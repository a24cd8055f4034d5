// The program's own version facts: from the version resource on Windows,
// compiled in from the same source on Linux.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct ModuleVersion {
  std::uint32_t nFileVersionMS = 0;
  std::uint32_t nFileVersionLS = 0;
  std::uint32_t nProductVersionLS = 0;
  bool bHasOriginalFilename = false;
  std::wstring strOriginalFilename;
};

bool ReadModuleVersion(ModuleVersion& version);

}  // namespace platform
