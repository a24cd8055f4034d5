// The Win32 output file of the own HTTP client: a fresh start empties the
// file, a resume appends, a restart truncates, and a reader may watch the
// file while it is written.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/OutputFile.h"
#include "platform/SystemError.h"
#include "tests/unit/TestSupport.h"

namespace {

TEST(Win32OutputFileTest, OpenStartsOverOrAppends) {
  const struct {
    const char* szName;
    bool bExisting;
    bool bAppend;
    const char* szExpected;
  } cases[] = {
      {"fresh start over an old file", true, false, "new"},
      {"resume of an old file", true, true, "oldnew"},
      {"resume without a file", false, true, "new"},
      {"fresh start without a file", false, false, "new"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    CTempFolder folder;
    const std::wstring strPath = folder.Child(L"TarnBattleClient.exe");
    if (c.bExisting) WriteWholeFile(strPath, "old");

    platform::COutputFile file;
    ASSERT_TRUE(file.Open(strPath, c.bAppend));
    EXPECT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Write("ne", 2));
    ASSERT_TRUE(file.Write("w", 1));
    ASSERT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadWholeFile(strPath), c.szExpected);

    std::uint64_t nSize = 0;
    ASSERT_TRUE(platform::GetFileSize(strPath, nSize));
    EXPECT_EQ(nSize, std::string(c.szExpected).size());
  }
}

TEST(Win32OutputFileTest, OthersMayReadAndWriteWhileItIsOpen) {
  CTempFolder folder;
  const std::wstring strPath = folder.Child(L"growing.bin");
  platform::COutputFile file;
  ASSERT_TRUE(file.Open(strPath, false));
  ASSERT_TRUE(file.Write("first", 5));
  // Nothing is held back in a buffer of the program's own.
  EXPECT_EQ(ReadWholeFile(strPath), "first");

  platform::COutputFile second;
  ASSERT_TRUE(second.Open(strPath, true));
  ASSERT_TRUE(second.Write("+second", 7));
  ASSERT_TRUE(second.Close());
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(ReadWholeFile(strPath), "first+second");
}

TEST(Win32OutputFileTest, LargeWriteReachesTheFile) {
  CTempFolder folder;
  const std::wstring strPath = folder.Child(L"large.bin");
  std::vector<char> data(6000000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  platform::COutputFile file;
  ASSERT_TRUE(file.Open(strPath, false));
  ASSERT_TRUE(file.Write(data.data(), data.size()));
  ASSERT_TRUE(file.Close());
  std::uint64_t nSize = 0;
  ASSERT_TRUE(platform::GetFileSize(strPath, nSize));
  EXPECT_EQ(nSize, data.size());
  EXPECT_TRUE(ReadWholeFile(strPath) == std::string(data.begin(), data.end()));
}

TEST(Win32OutputFileTest, FailuresLeaveTheLastError) {
  CTempFolder folder;
  const struct {
    const char* szName;
    std::wstring strPath;
  } cases[] = {
      {"folder that does not exist", folder.Child(L"missing\\file.bin")},
      {"a folder, not a file", folder.Path()},
      {"empty path", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    platform::COutputFile file;
    platform::SetLastErrorCode(0);
    EXPECT_FALSE(file.Open(c.strPath, false));
    EXPECT_NE(platform::GetLastErrorCode(), 0u);
    EXPECT_FALSE(file.IsOpen());
    std::uint64_t nSize = 12345;
    EXPECT_FALSE(platform::GetFileSize(c.strPath, nSize));
  }

  // A file that never opened refuses work instead of writing somewhere.
  platform::COutputFile closed;
  EXPECT_FALSE(closed.Write("x", 1));
  EXPECT_TRUE(closed.Close());
}

}  // namespace

#endif  // _WIN32
