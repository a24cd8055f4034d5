#include "common/DeviceRecord.h"

#include "common/Clock.h"
#include "common/Common.h"
#include "platform/AppData.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/SystemError.h"

std::wstring GetRecordFolder(std::wstring& strErrors) {
  std::wstring strFolder;
  if (!platform::GetCommonAppDataFolder(strFolder)) {
    strErrors += L"SHGetFolderPath CSIDL_COMMON_APPDATA Error.";
    strFolder = platform::FallbackAppDataFolder();
  }
  return strFolder + platform::kPathSeparator + kDataFolderName;
}

std::int64_t ParseInstallTime(const std::wstring& strText) {
  std::size_t i = 0;
  const bool bNegative = !strText.empty() && strText[0] == L'-';
  if (bNegative) ++i;
  std::int64_t nValue = 0;
  for (; i < strText.size() && strText[i] >= L'0' && strText[i] <= L'9'; ++i) {
    const int nDigit = strText[i] - L'0';
    if (nValue > (INT64_MAX - nDigit) / 10) break;  // an absurd value stops at its fitting prefix
    nValue = nValue * 10 + nDigit;
  }
  return bNegative ? -nValue : nValue;
}

std::wstring LoadDeviceRecord(DeviceRecord& record) {
  std::wstring strErrors;
  const std::wstring strFolder = GetRecordFolder(strErrors);
  return strErrors + LoadDeviceRecordIn(strFolder, record);
}

std::wstring LoadDeviceRecordIn(const std::wstring& strFolder, DeviceRecord& record) {
  std::wstring strErrors;
  if (!CreateMultiDir(strFolder)) {
    strErrors += L"CreateMultiDir Error.lasterror=" + std::to_wstring(platform::GetLastErrorCode());
  }
  record.strRecordFile = strFolder + platform::kPathSeparator + kRecordFileName;

  record.strDeviceId = platform::ReadIniString(record.strRecordFile, kRecordSection, L"GUID");
  if (record.strDeviceId.empty()) {
    // A record that cannot be stored still gives this run an id of its own.
    record.strDeviceId = CreateGuidString();
    if (!platform::WriteIniString(record.strRecordFile, kRecordSection, L"GUID", record.strDeviceId)) {
      strErrors += L"WritePrivateProfileString GUID Error.";
    }
  }

  const std::wstring strInstallTime = platform::ReadIniString(record.strRecordFile, kRecordSection, L"InstallTime");
  if (strInstallTime.empty()) {
    if (!platform::WriteIniString(record.strRecordFile, kRecordSection, L"InstallTime",
                                  std::to_wstring(NowMilliseconds()))) {
      // The same text as for the id: the statistics backend has always seen it so.
      strErrors += L"WritePrivateProfileString GUID Error.";
    }
  }
  // The value as it was read: 0 on the run that creates it.
  record.tInstallTime = ParseInstallTime(strInstallTime);

  if (!platform::WriteIniString(record.strRecordFile, kRecordSection, L"LastCall", kLastCallValue)) {
    strErrors += L"WritePrivateProfileString LastCall Error.";
  }
  return strErrors;
}
