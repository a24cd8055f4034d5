// Small text and system helpers shared by the whole program.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ModuleVersion.h"

// Wide text <-> the system's narrow text (ANSI code page; UTF-8 on Linux).
// Empty input, or text the system refuses to convert, gives an empty string.
std::wstring AnsiToWide(const std::string& strText);
std::string WideToAnsi(const std::wstring& strText);

// Wide text as UTF-8 (for the BI service's JSON); an unpaired surrogate or
// an impossible code point becomes U+FFFD.
std::string WideToUtf8(const std::wstring& strText);

// The system's text for the calling thread's last error, line break included;
// empty when the last error is 0.
std::wstring GetLastErrorText();

// Creates every missing folder of the path, outermost first. false (last error
// set) when one cannot be created, or for a bare root or a path too long.
bool CreateMultiDir(const std::wstring& strPath);

// Bytes available to the calling user on the volume of the folder; 0 when the
// system cannot tell.
std::uint64_t GetFreeDiskSpace(const std::wstring& strFolder);

// A random device id: 32 lower-case hex digits laid out like a version-4 UUID.
std::wstring CreateGuidString();

// "major.minor.build.revision.tag" of the program, at most 63 characters;
// empty when the version cannot be read.
std::wstring GetModuleVersionText();
std::wstring FormatModuleVersionText(const platform::ModuleVersion& version);

// Form-style percent encoding of the UTF-16 units of the text ("+" for space).
std::wstring UrlEncode(const std::wstring& strText);
