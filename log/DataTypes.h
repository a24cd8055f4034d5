// The statistics data types: the number every report carries, and from which
// the BI channel names its event. The values are the statistics server's.
#pragma once

inline constexpr int kEventDownloadAttempt = 1;   // a source's address, before its download
inline constexpr int kEventFailure = 2;           // a failed step before the install
inline constexpr int kEventDownloaded = 3;        // the installer is on disk
inline constexpr int kEventInstall = 4;           // the installer starts
inline constexpr int kEventInstallFailed = 5;     // the install cannot go on
inline constexpr int kEventInstalled = 6;         // the install is complete
inline constexpr int kEventLaunching = 7;         // the launcher starts
inline constexpr int kEventLaunchFailed = 8;      // the platform did not come up
inline constexpr int kEventPlatformAnswered = 100;
inline constexpr int kEventStart = 101;           // the run starts
inline constexpr int kEventExit = 103;            // the run ends
