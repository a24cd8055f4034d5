// The program's data folder ("Tarn.net" under the common data folder) as a
// narrow path, created when missing: the lock file and the URL cache live there.
#pragma once

#include <string>

namespace platform {

std::string EnsureDataFolder();

}  // namespace platform
