#include <gtest/gtest.h>

#include <set>

#include "common/Common.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"
#include "tests/unit/TestSupport.h"

namespace {

TEST(UrlEncode, EncodesFormStyle) {
  const struct {
    std::wstring strInput;
    std::wstring strExpected;
  } cases[] = {
      {L"a b", L"a+b"},
      {L"=", L"%3D"},
      {L",:", L"%2C%3A"},
      {L"-_.!~*'()", L"-_.!~*'()"},
      {L"AZaz09", L"AZaz09"},
      {L"\u00E9", L"%C3%A9"},
      {L"\u4E2D", L"%E4%B8%AD"},
      {L"SW=1920,SH=1040", L"SW%3D1920%2CSH%3D1040"},
      {L"", L""},
      // Outside the basic plane each UTF-16 half is encoded on its own.
      {L"\U0001F600", L"%ED%A0%BD%ED%B8%80"},
  };
  for (const auto& c : cases) EXPECT_EQ(UrlEncode(c.strInput), c.strExpected);
}

TEST(TextConversion, EmptyStaysEmptyAndChineseRoundTrips) {
  EXPECT_EQ(AnsiToWide(""), L"");
  EXPECT_EQ(WideToAnsi(L""), "");
  const std::wstring strText = L"ASCII text 123 中文路径";
  EXPECT_EQ(AnsiToWide(WideToAnsi(strText)), strText);
}

TEST(CreateGuidString, HasTheVersion4FormAndDoesNotRepeat) {
  std::set<std::wstring> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::wstring strGuid = CreateGuidString();
    ASSERT_EQ(strGuid.size(), 32u);
    EXPECT_EQ(strGuid.find_first_not_of(L"0123456789abcdef"), std::wstring::npos) << strGuid;
    EXPECT_EQ(strGuid[12], L'4') << strGuid;
    EXPECT_NE(std::wstring(L"89ab").find(strGuid[16]), std::wstring::npos) << strGuid;
    seen.insert(strGuid);
  }
  EXPECT_EQ(seen.size(), 2000u);
}

TEST(CreateMultiDir, CreatesMissingLevelsAndRefusesRoots) {
  CTempFolder temp;
  const std::wstring strDeep = temp.Path() + platform::kPathSeparator + L"one" + platform::kPathSeparator + L"two" +
                               platform::kPathSeparator + L"three";
  EXPECT_TRUE(CreateMultiDir(strDeep));
  EXPECT_TRUE(std::filesystem::is_directory(temp.Fs() / "one" / "two" / "three"));
  // Every folder exists already: true, nothing to do.
  EXPECT_TRUE(CreateMultiDir(strDeep + platform::kPathSeparator));

  const std::wstring strRoot = platform::kRootPathLength == 3 ? L"C:\\" : L"/";
  EXPECT_FALSE(CreateMultiDir(strRoot));
  EXPECT_FALSE(CreateMultiDir(L""));
}

TEST(CreateMultiDir, FailsWhereAFileBlocksThePath) {
  CTempFolder temp;
  WriteWholeFile(temp.Fs() / "file", "x");
  const std::wstring strBlocked = temp.Child(L"file") + platform::kPathSeparator + L"below";
  EXPECT_FALSE(CreateMultiDir(strBlocked));
  EXPECT_NE(platform::GetLastErrorCode(), 0u);
}

TEST(CreateMultiDir, RefusesAPathTooLongWithTheSystemsReason) {
  for (std::size_t nLength : {259u, 300u}) {
    SCOPED_TRACE(nLength);
    CTempFolder temp;
    const std::wstring strOwn = temp.Child(L"long");
    platform::SetLastErrorCode(0);
    EXPECT_FALSE(CreateMultiDir(PathOfLength(strOwn, nLength, platform::kPathSeparator)));
    // The folder check shows this reason to the user: it must say something.
    EXPECT_EQ(platform::GetLastErrorCode(), platform::kPathTooLongError);
    EXPECT_FALSE(GetLastErrorText().empty());
    EXPECT_FALSE(std::filesystem::exists(strOwn)) << "made part of a path it refused";
  }
}

TEST(GetFreeDiskSpace, KnowsExistingFoldersAndTheHomeOfMissingOnes) {
  CTempFolder temp;
  EXPECT_GT(GetFreeDiskSpace(temp.Path()), 0u);
  const std::wstring strMissing = temp.Child(L"missing") + platform::kPathSeparator + L"deeper";
  if (platform::kPathSeparator == L'/') {
    // Linux: a folder still to be made lives on its nearest existing ancestor's file system.
    EXPECT_GT(GetFreeDiskSpace(strMissing), 0u);
    EXPECT_EQ(GetFreeDiskSpace(L"relative/missing"), 0u);
  } else {
    // Windows asks for the drive; a missing folder itself has no free space.
    EXPECT_EQ(GetFreeDiskSpace(strMissing), 0u);
  }
}

TEST(GetLastErrorText, EmptyForNoErrorAndTheSystemsTextOtherwise) {
  platform::SetLastErrorCode(0);
  EXPECT_EQ(GetLastErrorText(), L"");
  platform::SetLastErrorCode(5);
  const std::wstring strText = GetLastErrorText();
  ASSERT_FALSE(strText.empty());
  EXPECT_EQ(strText.back(), L'\n');
}

TEST(ModuleVersionText, FormatsNumbersAndTag) {
  platform::ModuleVersion version;
  version.nFileVersionMS = (1u << 16) | 2u;
  version.nFileVersionLS = (3u << 16) | 99u;
  version.nProductVersionLS = (7u << 16) | 4u;  // the fourth number is the product version's
  EXPECT_EQ(FormatModuleVersionText(version), L"1.2.3.4.TarnNet");
  version.bHasOriginalFilename = true;
  version.strOriginalFilename = std::wstring(80, L'x');
  EXPECT_EQ(FormatModuleVersionText(version).size(), 63u);

  EXPECT_EQ(GetModuleVersionText(), L"25.4.15.19.rl");
}

}  // namespace
