// Where the current installer lives on each download source: the pointer
// file "clienturl.ini" names it, a fixed name stands in when it can't.
#pragma once

#include <string>

// The base address of a source (0, 1, 2; any other number is source 0).
std::wstring DownloadSourceBase(int nSource);

// Whether a pointer file's text names an installer: at least 3 and at most
// 100 characters, "ashfallbattle" first and "exe" last, case-sensitive.
bool IsValidInstallerName(const std::wstring& strName);

// The installer's address on the source in strUrl, set on every path; the
// error text (empty on success) says why a fallback address was given.
std::wstring GetDownloadUrl(int nSource, std::wstring& strUrl);

inline constexpr const wchar_t* kFallbackInstallerName = L"ashfallbattle_last.exe";
inline constexpr const wchar_t* kOldWindowsInstallerName = L"tarn_v202005111.exe";
inline constexpr const wchar_t* kPointerFileName = L"clienturl.ini";
