#include <gtest/gtest.h>

#include "common/DeviceRecord.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "tests/unit/TestSupport.h"

namespace {

std::wstring RecordValue(const DeviceRecord& record, const wchar_t* pKey) {
  return platform::ReadIniString(record.strRecordFile, kRecordSection, pKey);
}

TEST(DeviceRecord, FirstRunCreatesTheRecordAndLaterRunsKeepIt) {
  CTempFolder temp;
  const std::wstring strFolder = temp.Child(L"Tarn.net");

  DeviceRecord first;
  EXPECT_EQ(LoadDeviceRecordIn(strFolder, first), L"");
  EXPECT_EQ(first.strRecordFile, strFolder + platform::kPathSeparator + L"Tarnnet.db");
  EXPECT_EQ(first.strDeviceId.size(), 32u);
  EXPECT_EQ(RecordValue(first, L"GUID"), first.strDeviceId);
  EXPECT_EQ(RecordValue(first, L"InstallTime").size(), 13u);
  EXPECT_EQ(RecordValue(first, L"LastCall"), L"Fetchstub");
  EXPECT_EQ(first.tInstallTime, 0);  // the value as it was read: none yet

  // The platform writes its own name; the next start puts ours back.
  ASSERT_TRUE(platform::WriteIniString(first.strRecordFile, kRecordSection, L"LastCall", L"Tarn.net"));
  const std::wstring strInstallTime = RecordValue(first, L"InstallTime");
  DeviceRecord second;
  EXPECT_EQ(LoadDeviceRecordIn(strFolder, second), L"");
  EXPECT_EQ(second.strDeviceId, first.strDeviceId);
  EXPECT_EQ(RecordValue(second, L"InstallTime"), strInstallTime);
  EXPECT_EQ(second.tInstallTime, std::stoll(strInstallTime));
  EXPECT_EQ(RecordValue(second, L"LastCall"), L"Fetchstub");
}

TEST(DeviceRecord, AnInstallTimeThatIsNoNumberStaysAndCountsAsZero) {
  CTempFolder temp;
  const std::wstring strFolder = temp.Child(L"Tarn.net");
  DeviceRecord record;
  LoadDeviceRecordIn(strFolder, record);
  ASSERT_TRUE(platform::WriteIniString(record.strRecordFile, kRecordSection, L"InstallTime", L"soon"));
  EXPECT_EQ(LoadDeviceRecordIn(strFolder, record), L"");
  EXPECT_EQ(record.tInstallTime, 0);
  EXPECT_EQ(RecordValue(record, L"InstallTime"), L"soon");
}

TEST(DeviceRecord, AFolderThatCannotBeMadeGivesEveryErrorAndAFreshId) {
  CTempFolder temp;
  WriteWholeFile(temp.Fs() / "blocked", "a file where the folder should be");
  const std::wstring strFolder = temp.Child(L"blocked") + platform::kPathSeparator + L"Tarn.net";
  DeviceRecord first, second;
  const std::wstring strErrors = LoadDeviceRecordIn(strFolder, first);
  EXPECT_EQ(strErrors.rfind(L"CreateMultiDir Error.lasterror=", 0), 0u) << strErrors.c_str();
  const std::wstring strWrites = L"WritePrivateProfileString GUID Error.WritePrivateProfileString GUID Error."
                                 L"WritePrivateProfileString LastCall Error.";
  ASSERT_GE(strErrors.size(), strWrites.size());
  EXPECT_EQ(strErrors.substr(strErrors.size() - strWrites.size()), strWrites);
  LoadDeviceRecordIn(strFolder, second);
  EXPECT_EQ(first.strDeviceId.size(), 32u);
  EXPECT_NE(first.strDeviceId, second.strDeviceId);
}

TEST(DeviceRecord, ParsesInstallTimeLikeTheRecordStoresIt) {
  const struct {
    const wchar_t* pText;
    std::int64_t nExpected;
  } cases[] = {{L"1714000000000", 1714000000000}, {L"-42", -42}, {L"", 0},
               {L"abc", 0},                       {L"12ab", 12},  {L"99999999999999999999999", 999999999999999999}};
  for (const auto& c : cases) EXPECT_EQ(ParseInstallTime(c.pText), c.nExpected) << c.pText;
}

}  // namespace
