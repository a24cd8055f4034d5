// The names the install road shares with the download servers, the installer
// and the installed platform.
#pragma once

#include <algorithm>
#include <string>

#include "platform/FileSystem.h"

// The installer's name in the install folder.
inline constexpr const wchar_t* kInstallerFileName = L"TarnBattleClient.exe";
// What the installer leaves behind; its presence means a complete install.
inline constexpr const wchar_t* kLauncherFileName = L"Tarn.net Launcher.exe";
// The running platform's image name.
inline constexpr const wchar_t* kPlatformImageName = L"Tarn.net.exe";
// The marker in the install folder: "FetchletVersion=" and the version.
inline constexpr const wchar_t* kMarkerFileName = L"version.info";
// The longest name the road joins to the install folder: the installer, the
// launcher or the marker.
inline constexpr std::size_t kLongestNameInInstallFolder =
    std::max({std::char_traits<wchar_t>::length(kInstallerFileName),
              std::char_traits<wchar_t>::length(kLauncherFileName),
              std::char_traits<wchar_t>::length(kMarkerFileName)});
// The device record's key the platform answers in.
inline constexpr const wchar_t* kLastCallKey = L"LastCall";

// A file directly in a folder, with this system's separator.
inline std::wstring PathInFolder(const std::wstring& strFolder, const std::wstring& strName) {
  return strFolder + platform::kPathSeparator + strName;
}
