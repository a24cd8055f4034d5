// After the installer: the launcher starts the platform, and the run waits
// until the platform answers in the device record.
#pragma once

#include <string>

#include "road/RoadWindow.h"

// Clears the installer, checks the install, starts the launcher and waits for
// the platform's answer; the run then ends with "Success". Returns false
// when the launcher is missing or would not start.
bool LaunchPlatform(IRoadWindow& window, const std::wstring& strInstallerFile);

// Polls "LastCall" until the platform has replaced this program's value or
// the time is up.
void WaittingLaunchThreadProc(IRoadWindow& window);

// Running processes of that image name (letter case ignored); -1 when the
// process list cannot be taken.
int FindProcess(const std::wstring& strImageName);
