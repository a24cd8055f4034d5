// The shared ends of the road's failed steps.
#pragma once

#include <string>

#include "road/RoadWindow.h"

// What the system said of its version.
struct OsVersionReading {
  bool bWindows = true;   // the numbers are a Windows version
  bool bReadable = true;  // the numbers could be read at all
  unsigned nMajor = 0;
  unsigned nMinor = 0;
};

// Windows XP (5.1) and older, or a Windows version that cannot be read: they
// get an installer of their own and no launcher. Another system is never old
// Windows, whatever its numbers.
bool IsOldWindows(const OsVersionReading& version);
// The same of the running system.
bool IsOldWindows();

// A program that would not start: the system's reason in the status line,
// the report (reason + ",InstallPath:" + strPath), a box with the reason under
// the caption, then the contact dialog. A run without a window whose dialog
// cannot be shown ends with code 1.
void ReportStartFailure(IRoadWindow& window, int nDataType, const std::wstring& strPath,
                        const std::wstring& strCaption);

// The contact dialog as the last word of a failed step; a run without a
// window must still end when the dialog cannot be shown.
void ShowFinalContactDialog(IRoadWindow& window, WindowOwner owner, const std::wstring& strExitReason);
