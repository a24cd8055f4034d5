// The install button's first step: the folder, an earlier install in it,
// free space, the folder and its marker; then the download starts.
#pragma once

#include "road/RoadWindow.h"

// true when the download was started, when the user declined a reinstall or
// a direct start, or when the existing install was started; false when the
// folder was refused. Runs on the main thread.
bool CheckInstallFolder(IRoadWindow& window);

// Exit reasons of a run without a window whose road never starts.
inline constexpr const wchar_t* kDirectInstallRefusedReason = L"DirectInstallRefused";
inline constexpr const wchar_t* kDirectInstallDeclinedReason = L"DirectInstallDeclined";
