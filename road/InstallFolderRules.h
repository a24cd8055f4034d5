// The pure rules of the folder check: which drive a folder is on, what the
// marker file says, and the texts built from free space.
#pragma once

#include <cstdint>
#include <string>

#include "road/RoadNames.h"

enum class PathStyle {
  Windows,  // "C:\..." : the drive is the text up to its first ":"
  Posix,    // "/..."   : the folder itself names its file system
};

// Longest path the road may build: a MAX_PATH buffer of 260 characters with
// its terminator, which the system's file, process and folder calls take.
inline constexpr std::size_t kMaxBuiltPathLength = 259;
// Longest install folder: every path built in it (folder, separator, name)
// stays within kMaxBuiltPathLength. Longer folders are refused whole.
inline constexpr std::size_t kMaxInstallFolderLength = kMaxBuiltPathLength - 1 - kLongestNameInInstallFolder;
// Free space the install needs, in whole GiB.
inline constexpr std::uint64_t kRequiredFreeGiB = 8;
// The marker is read up to this many bytes.
inline constexpr std::size_t kMarkerReadLimit = 260;

// The text whose free space counts ("C:" for "C:\Games"; the folder itself
// on Linux), or empty when the folder is not a usable absolute path: no
// drive, a drive-relative or relative path, or characters a path cannot hold
// (on Linux: a double quote or a control character, which the installer's
// command line cannot carry).
std::wstring FolderDrive(const std::wstring& strFolder, PathStyle style);

// The marker's value: the text up to the first NUL byte of what was read,
// after its first "=" (all of it when there is none).
std::string ParseMarkerValue(std::string strBytes);
// What the marker holds for a version: "FetchletVersion=" and the version.
std::wstring MarkerText(const std::wstring& strVersion);

// Whole GiB and whole MiB of a byte count.
inline std::uint64_t WholeGiB(std::uint64_t nBytes) { return nBytes >> 30; }
inline std::uint64_t WholeMiB(std::uint64_t nBytes) { return nBytes >> 20; }
