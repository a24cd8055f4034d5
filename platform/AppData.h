// The machine-wide data folder that holds the log and the device record.
#pragma once

#include <string>

namespace platform {

// The common application-data folder; false when the system cannot name it.
bool GetCommonAppDataFolder(std::wstring& strFolder);
// The folder used when the system cannot name one ("C:\ProgramData" on Windows).
std::wstring FallbackAppDataFolder();

}  // namespace platform
