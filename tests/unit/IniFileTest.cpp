#include <gtest/gtest.h>

#include "platform/IniFile.h"
#include "tests/unit/TestSupport.h"

namespace {

TEST(IniFile, CreatesTheFileOnFirstWriteAndReadsBack) {
  CTempFolder temp;
  const std::wstring strFile = temp.Child(L"record.db");
  EXPECT_EQ(platform::ReadIniString(strFile, L"TarnNet", L"GUID"), L"");
  ASSERT_TRUE(platform::WriteIniString(strFile, L"TarnNet", L"GUID", L"abc"));
  ASSERT_TRUE(platform::WriteIniString(strFile, L"TarnNet", L"LastCall", L"Fetchstub"));
  EXPECT_EQ(platform::ReadIniString(strFile, L"TarnNet", L"GUID"), L"abc");
  EXPECT_EQ(platform::ReadIniString(strFile, L"TarnNet", L"LastCall"), L"Fetchstub");
  // Replacing one value keeps the others.
  ASSERT_TRUE(platform::WriteIniString(strFile, L"TarnNet", L"GUID", L"def"));
  EXPECT_EQ(platform::ReadIniString(strFile, L"TarnNet", L"GUID"), L"def");
  EXPECT_EQ(platform::ReadIniString(strFile, L"TarnNet", L"LastCall"), L"Fetchstub");
}

TEST(IniFile, MatchesSectionAndKeyWithoutCaseAndTrimsValues) {
  CTempFolder temp;
  const auto path = temp.Fs() / "shared.ini";
  WriteWholeFile(path,
                 "[Other]\r\nGUID=wrong\r\n"
                 "  [ tarnnet ]  \r\n"
                 "  guid  =   padded value  \r\n"
                 "Quoted=\"in quotes\"\r\n"
                 "Long=" + std::string(300, 'v') + "\r\n");
  const std::wstring strFile = path.wstring();
  EXPECT_EQ(platform::ReadIniString(strFile, L"TarnNet", L"GUID"), L"padded value");
  EXPECT_EQ(platform::ReadIniString(strFile, L"TARNNET", L"quoted"), L"in quotes");
  EXPECT_EQ(platform::ReadIniString(strFile, L"TarnNet", L"Long").size(), 255u);
  EXPECT_EQ(platform::ReadIniString(strFile, L"Missing", L"GUID"), L"");

  // A write into the existing section changes that key only.
  ASSERT_TRUE(platform::WriteIniString(strFile, L"TARNNET", L"Guid", L"new"));
  EXPECT_EQ(platform::ReadIniString(strFile, L"TarnNet", L"GUID"), L"new");
  EXPECT_EQ(platform::ReadIniString(strFile, L"Other", L"GUID"), L"wrong");
  EXPECT_EQ(platform::ReadIniString(strFile, L"TarnNet", L"Quoted"), L"in quotes");
}

TEST(IniFile, AddsKeysToTheirOwnSection) {
  CTempFolder temp;
  const auto path = temp.Fs() / "two.ini";
  WriteWholeFile(path, "[A]\nx=1\n\n[B]\ny=2\n");
  const std::wstring strFile = path.wstring();
  ASSERT_TRUE(platform::WriteIniString(strFile, L"A", L"z", L"3"));
  ASSERT_TRUE(platform::WriteIniString(strFile, L"C", L"w", L"4"));
  EXPECT_EQ(platform::ReadIniString(strFile, L"A", L"z"), L"3");
  EXPECT_EQ(platform::ReadIniString(strFile, L"B", L"z"), L"");
  EXPECT_EQ(platform::ReadIniString(strFile, L"B", L"y"), L"2");
  EXPECT_EQ(platform::ReadIniString(strFile, L"C", L"w"), L"4");
}

TEST(IniFile, WriteFailsWhereTheFolderIsMissing) {
  CTempFolder temp;
  EXPECT_FALSE(platform::WriteIniString(temp.Child(L"missing") + L"/x.ini", L"S", L"k", L"v"));
}

}  // namespace
