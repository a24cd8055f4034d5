#include "platform/IniFile.h"

#include <windows.h>

namespace platform {

namespace {

constexpr DWORD kIniValueBuffer = 256;  // the record's values are short; longer ones are cut

}  // namespace

std::wstring ReadIniString(const std::wstring& strFile, const std::wstring& strSection,
                           const std::wstring& strKey) {
  wchar_t szValue[kIniValueBuffer] = {};
  const DWORD nLength = GetPrivateProfileStringW(strSection.c_str(), strKey.c_str(), L"", szValue,
                                                 kIniValueBuffer, strFile.c_str());
  return std::wstring(szValue, nLength < kIniValueBuffer ? nLength : kIniValueBuffer - 1);
}

bool WriteIniString(const std::wstring& strFile, const std::wstring& strSection,
                    const std::wstring& strKey, const std::wstring& strValue) {
  return WritePrivateProfileStringW(strSection.c_str(), strKey.c_str(), strValue.c_str(),
                                    strFile.c_str()) != FALSE;
}

}  // namespace platform
