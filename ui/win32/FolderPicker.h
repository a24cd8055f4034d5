// The shell's folder picker for the install folder.
#pragma once

#include <windows.h>

#include <string>

// Modal to hOwner (none when null). The chosen folder's path; empty when the
// user cancelled or chose something that is no file-system folder.
std::wstring PickInstallFolder(HWND hOwner);
