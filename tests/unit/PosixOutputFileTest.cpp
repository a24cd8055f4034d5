// The Linux output file's disk reservation: bounded whatever size a peer
// announced, and given back when the body ended before filling it, so that a
// failed attempt leaves no space taken beyond the file's size.
#ifndef _WIN32

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/OutputFile.h"
#include "tests/unit/TestSupport.h"

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

// Bytes the file takes on disk, reserved ones included.
std::uint64_t DiskUse(const std::wstring& strPath) {
  struct stat st {};
  EXPECT_EQ(::stat(std::string(strPath.begin(), strPath.end()).c_str(), &st), 0);
  return static_cast<std::uint64_t>(st.st_blocks) * 512;
}

TEST(PosixOutputFileTest, ReservationIsBoundedAndGivenBackPastTheEnd) {
  const std::string strHeld(64 * 1024, 'x');
  const struct {
    const char* szName;
    std::uint64_t nAnnounced;  // what Reserve is asked for
    std::uint64_t nReserved;   // what it may take while open, at most
  } cases[] = {
      {"a body that fits the bound", 64 * kMiB, 64 * kMiB},
      // Past the bound, yet within what the disk could give.
      {"a false length past the bound", platform::kLargestReservation * 2, platform::kLargestReservation},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    CTempFolder folder;
    const std::wstring strPath = folder.Child(L"TarnBattleClient.exe");
    platform::COutputFile file;
    ASSERT_TRUE(file.Open(strPath, false));
    ASSERT_TRUE(file.Write(strHeld.data(), strHeld.size()));
    file.Reserve(c.nAnnounced);
    const std::uint64_t nWhileOpen = DiskUse(strPath);
    if (nWhileOpen < c.nReserved) GTEST_SKIP() << "this file system sets no space aside";
    EXPECT_LE(nWhileOpen, c.nReserved + strHeld.size() + kMiB);

    std::uint64_t nSize = 0;
    ASSERT_TRUE(file.Size(nSize));
    EXPECT_EQ(nSize, strHeld.size());
    // The body ends here, far short of the reservation.
    ASSERT_TRUE(file.Close());
    EXPECT_LT(DiskUse(strPath), strHeld.size() + kMiB);
    EXPECT_EQ(ReadWholeFile(folder.Fs() / L"TarnBattleClient.exe"), strHeld);
  }
}

TEST(PosixOutputFileTest, AFilledReservationKeepsTheWholeFile) {
  CTempFolder folder;
  const std::wstring strPath = folder.Child(L"TarnBattleClient.exe");
  const std::string strBody(3 * kMiB, 'y');
  platform::COutputFile file;
  ASSERT_TRUE(file.Open(strPath, false));
  file.Reserve(strBody.size());
  ASSERT_TRUE(file.Write(strBody.data(), strBody.size()));
  ASSERT_TRUE(file.Close());
  EXPECT_GE(DiskUse(strPath), strBody.size());
  EXPECT_EQ(ReadWholeFile(folder.Fs() / L"TarnBattleClient.exe"), strBody);
}

TEST(PosixOutputFileTest, AResumeAppendsAndReservesFromTheEnd) {
  CTempFolder folder;
  const std::wstring strPath = folder.Child(L"TarnBattleClient.exe");
  WriteWholeFile(folder.Fs() / L"TarnBattleClient.exe", "old");
  platform::COutputFile file;
  ASSERT_TRUE(file.Open(strPath, true));
  std::uint64_t nSize = 0;
  ASSERT_TRUE(file.Size(nSize));
  EXPECT_EQ(nSize, 3u);
  file.Reserve(8 * kMiB);
  ASSERT_TRUE(file.Write("new", 3));
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(ReadWholeFile(folder.Fs() / L"TarnBattleClient.exe"), "oldnew");
  EXPECT_LT(DiskUse(strPath), kMiB);
}

}  // namespace

#endif  // !_WIN32
