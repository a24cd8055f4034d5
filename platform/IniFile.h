// One value of an INI file, with the profile-string semantics: section and
// key match without regard to letter case, values are trimmed, a missing key
// reads as empty, a value is cut to 255 characters, and the file is created on
// the first write.
#pragma once

#include <string>

namespace platform {

std::wstring ReadIniString(const std::wstring& strFile, const std::wstring& strSection,
                           const std::wstring& strKey);
bool WriteIniString(const std::wstring& strFile, const std::wstring& strSection,
                    const std::wstring& strKey, const std::wstring& strValue);

}  // namespace platform
