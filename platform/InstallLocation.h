// Where the game goes when the user chooses nothing else.
#pragma once

#include <string>

namespace platform {

// "C:\Program Files (x86)\TarnGame\ashfallbattle" on Windows,
// "/opt/TarnGame/ashfallbattle" on Linux.
std::wstring DefaultInstallFolder();

}  // namespace platform
