// Where the game goes when the user chooses nothing else.
#pragma once

#include <string>

namespace platform {

// "C:\Program Files (x86)\TarnGame\ashfallbattle" on Windows,
// "/opt/TarnGame/ashfallbattle" on Linux.
std::wstring DefaultInstallFolder();

// The base folder offered when the window opens: the fixed drive with the
// most free space above 8000 MiB on Windows, "/opt" on Linux when its file
// system has that much; empty when none qualifies (the default folder then).
std::wstring ChooseDefaultBaseFolder();

// Free space a base folder needs to be offered.
inline constexpr unsigned long long kDefaultBaseMinFreeMiB = 8000;

}  // namespace platform
