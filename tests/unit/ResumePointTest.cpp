// Where a resumed download starts when the partial file was removed, cut or
// grown since the last attempt, and what the log is told.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "download/ResumePoint.h"
#include "tests/unit/TestSupport.h"

namespace {

TEST(ResumePoint, StartsWhereTheFileTrulyEnds) {
  const struct {
    const char* szName;
    std::optional<std::size_t> nOnDisk;  // none: no file
    std::int64_t nHeld;
    std::int64_t nStart;
    ResumeFix fix;
    std::wstring strLog;
  } cases[] = {
      {"file as left", 300, 300, 300, ResumeFix::kNone, L""},
      {"fresh start over an old file", 300, 0, 0, ResumeFix::kNone, L""},
      {"fresh start without a file", std::nullopt, 0, 0, ResumeFix::kNone, L""},
      {"file removed", std::nullopt, 300, 0, ResumeFix::kFileGone, L"partial file gone, started over."},
      {"file cut", 120, 300, 120, ResumeFix::kFileShorter,
       L"partial file shorter (120 bytes on disk, 300 held), resumed from its end."},
      {"file emptied", 0, 300, 0, ResumeFix::kFileShorter,
       L"partial file shorter (0 bytes on disk, 300 held), resumed from its end."},
      {"file grown", 500, 300, 0, ResumeFix::kFileLonger,
       L"partial file longer (500 bytes on disk, 300 held), started over."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    CTempFolder folder;
    const std::wstring strPath = folder.Child(L"TarnBattleClient.exe");
    if (c.nOnDisk) WriteWholeFile(folder.Fs() / L"TarnBattleClient.exe", std::string(*c.nOnDisk, 'x'));

    std::int64_t nOffset = c.nHeld;
    const ResumeCheck check = CheckResumePoint(strPath, nOffset);
    EXPECT_EQ(nOffset, c.nStart);
    EXPECT_EQ(check.fix, c.fix);
    EXPECT_EQ(ResumeFixText(check), c.strLog);
  }
}

TEST(ResumePoint, AFolderInThePlaceOfTheFileIsNoFile) {
  CTempFolder folder;
  std::int64_t nOffset = 300;
  EXPECT_EQ(CheckResumePoint(folder.Path(), nOffset).fix, ResumeFix::kFileGone);
  EXPECT_EQ(nOffset, 0);
}

}  // namespace
