#include <gtest/gtest.h>

#include "road/DownloadThread.h"
#include "road/DownloadUrl.h"
#include "road/Install.h"
#include "road/InstallFolderRules.h"
#include "road/StepFailure.h"

namespace {

TEST(InstallerName, FollowsThePointerFileRules) {
  const std::wstring strHundred = L"ashfallbattle" + std::wstring(84, L'x') + L"exe";
  ASSERT_EQ(strHundred.size(), 100u);
  const struct {
    std::wstring strName;
    bool bValid;
  } cases[] = {
      {L"ashfallbattle_20250415.exe", true},
      {L"ashfallbattleexe", true},              // no test of the dot
      {L"ashfallbattle_1.exe\r\n", false},      // a line end hides the suffix
      {L"ashfallbattle_1.exe\n", false},
      {L"ASHFALLBATTLE_1.EXE", false},          // both tests are case-sensitive
      {L"ashfallbattle_1.EXE", false},
      {L"setup_ashfallbattle.exe", false},
      {L"", false},
      {L"ex", false},
      {strHundred, true},
      {strHundred + L"e", false},               // 101 characters
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidInstallerName(c.strName), c.bValid) << c.strName.size();
}

TEST(DownloadSource, OtherNumbersAreSourceZero) {
  EXPECT_EQ(DownloadSourceBase(3), DownloadSourceBase(0));
  EXPECT_EQ(DownloadSourceBase(-1), DownloadSourceBase(0));
  EXPECT_NE(DownloadSourceBase(1), DownloadSourceBase(2));
  for (int nSource : {0, 1, 2}) EXPECT_EQ(DownloadSourceBase(nSource).back(), L'/');
}

TEST(DownloadFailure, MessageForEachResultCode) {
  const std::wstring strUrl = L"http://192.0.2.1/ashfallbattle_last.exe";
  const struct {
    std::uint32_t nCode;
    std::wstring strMessage;
  } cases[] = {
      {0x80004004u, L"操作已中止，请尝试使用管理员权限运行"},
      {0x8007000Eu, L"缓冲器长度无效或没有足够的内存空间完成此次操作"},
      {0x800C0005u, L"没找到资源，请检查您的网络是否连接正常"},
      {0x800C0006u, L"服务器不存在这个文件：" + strUrl},
      {0x800C0008u, L"指定的资源或回调接口是无效的"},
      {0x800C0007u, L"下载失败，错误码：0x800c0007"},
      {0x1u, L"下载失败，错误码：0x1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DownloadFailureMessage(static_cast<std::int32_t>(c.nCode), strUrl), c.strMessage) << std::hex << c.nCode;
  }
}

TEST(InstallerCommandLine, QuotesTheFolderUnchanged) {
  EXPECT_EQ(BuildInstallerCommandLine(L"C:\\Program Files (x86)\\TarnGame\\ashfallbattle"),
            L" /verysilent /suppressmsgboxes /DIR=\"C:\\Program Files (x86)\\TarnGame\\ashfallbattle\"");
  EXPECT_EQ(BuildInstallerCommandLine(L"/opt/a b"), L" /verysilent /suppressmsgboxes /DIR=\"/opt/a b\"");
}

TEST(InstallAnimation, DotsAndBarFollowThePolls) {
  const struct {
    unsigned nPoll;
    std::wstring strText;
    unsigned nPosition;
  } cases[] = {
      {1, L"正在安装《Ashfall》战网..", 40},  {2, L"正在安装《Ashfall》战网...", 80},
      {3, L"正在安装《Ashfall》战网.", 120},  {24, L"正在安装《Ashfall》战网.", 960},
      {25, L"正在安装《Ashfall》战网..", 0},  {26, L"正在安装《Ashfall》战网...", 40},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InstallingText(c.nPoll), c.strText) << c.nPoll;
    EXPECT_EQ(InstallingPosition(c.nPoll), c.nPosition) << c.nPoll;
  }
}

TEST(MarkerFile, ValueAfterTheFirstEqualsUpToTheFirstNul) {
  const struct {
    std::string strBytes;
    std::string strValue;
  } cases[] = {
      {"FetchletVersion=25.4.15.19.rl", "25.4.15.19.rl"},
      {"25.4.15.19.rl", "25.4.15.19.rl"},                      // no "=": the whole text
      {"FetchletVersion=25.4.15.19.rl\r\n", "25.4.15.19.rl\r\n"},  // never matches a version
      {"Other=a=b", "a=b"},
      {std::string("Key=1.2\0=tail", 13), "1.2"},
      {std::string("\0Key=1.2", 8), ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseMarkerValue(c.strBytes), c.strValue) << c.strBytes;
  EXPECT_EQ(MarkerText(L"25.4.15.19.rl"), L"FetchletVersion=25.4.15.19.rl");
}

TEST(FolderDrive, WindowsFoldersNeedADriveAndAPathsCharacters) {
  const struct {
    std::wstring strFolder;
    std::wstring strDrive;
  } cases[] = {
      {L"C:\\Program Files (x86)\\TarnGame\\ashfallbattle", L"C:"},
      {L"d:/Games/TarnGame", L"d:"},
      {L"Games\\TarnGame", L""},           // relative
      {L"C:Games", L""},                   // relative to the drive's current folder
      {L"\\\\server\\share\\x", L""},       // no drive
      {L"ab:\\x", L""},
      {L"1:\\x", L""},
      {L"C:\\a|b", L""},
      {L"C:\\a\\b:c", L""},
      {L"C:\\a\tb", L""},
      {L"C:\\a?", L""},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(FolderDrive(c.strFolder, PathStyle::Windows), c.strDrive) << c.strFolder;
}

TEST(FolderDrive, PosixFoldersMustBeAbsolute) {
  const struct {
    std::wstring strFolder;
    bool bUsable;
  } cases[] = {
      {L"/opt/TarnGame/ashfallbattle", true},
      {L"/", true},
      {L"/srv/a b/游戏'x", true},
      {L"opt/TarnGame", false},
      {L"./TarnGame", false},
      {L"C:\\Games", false},
      {L"", false},
      // The installer's command line takes the folder between quotes, split
      // by Windows rules: a quote would change its arguments.
      {L"/srv/a\"b", false},
      {L"/tmp/x\" /FOO \"y", false},
      {L"/srv/a\tb", false},
      {L"/srv/a\nb", false},
      {L"/srv/a\x7f" L"b", false},
      {L"/srv/a\x9b" L"b", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderDrive(c.strFolder, PathStyle::Posix), c.bUsable ? c.strFolder : L"") << c.strFolder;
  }
}

TEST(OldWindows, OnlyWindowsUpToXpOrAnUnreadableWindowsVersion) {
  const struct {
    const char* pName;
    OsVersionReading version;
    bool bOld;
  } cases[] = {
      {"Windows XP", {true, true, 5, 1}, true},
      {"Windows 2000", {true, true, 5, 0}, true},
      {"Windows Server 2003", {true, true, 5, 2}, false},
      {"Windows 10", {true, true, 10, 0}, false},
      {"high bytes ignored", {true, true, 0x105, 0x101}, true},
      {"unreadable Windows", {true, false, 0, 0}, true},
      // A kernel release is no Windows version.
      {"Linux 4.19", {false, true, 4, 19}, false},
      {"Linux 5.1", {false, true, 5, 1}, false},
      {"Linux 2.6", {false, true, 2, 6}, false},
      {"unreadable, not Windows", {false, false, 0, 0}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOldWindows(c.version), c.bOld) << c.pName;
  // Neither Wine nor a Linux kernel of the test machine is Windows XP.
  EXPECT_FALSE(IsOldWindows());
}

TEST(FreeSpace, WholeUnitsRoundDown) {
  EXPECT_EQ(WholeGiB(8589934592ull), 8u);
  EXPECT_EQ(WholeGiB(8589934591ull), 7u);
  EXPECT_EQ(WholeMiB(8589934591ull), 8191u);
}

}  // namespace
