#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "common/Common.h"
#include "log/Log.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "road/InstallFolderCheck.h"
#include "tests/unit/RoadScript.h"
#include "tests/unit/TestSupport.h"

namespace {

class CInstallFolderCheck : public ::testing::Test {
protected:
  CInstallFolderCheck() {
    m_strSavedRecord = CLog::GetInstance().m_strRecordFile;
    CLog::GetInstance().m_strRecordFile = m_temp.Child(L"Tarnnet.db");
    m_strFolder = m_temp.Child(L"TarnGame") + platform::kPathSeparator + L"ashfallbattle";
    m_window.m_strFolder = m_strFolder;
  }
  ~CInstallFolderCheck() override { CLog::GetInstance().m_strRecordFile = m_strSavedRecord; }

  std::filesystem::path Marker() const { return std::filesystem::path(m_strFolder) / L"version.info"; }
  void PutMarker(const std::string& strText) {
    std::filesystem::create_directories(m_strFolder);
    WriteWholeFile(Marker(), strText);
  }
  void PutLauncher() { WriteWholeFile(std::filesystem::path(m_strFolder) / L"Tarn.net Launcher.exe", "x"); }
  std::string OwnMarker() const { return WideToAnsi(L"FetchletVersion=" + GetModuleVersionText()); }

  CTempFolder m_temp;
  std::wstring m_strFolder;
  std::wstring m_strSavedRecord;
  CRoadScript m_window;
};

TEST_F(CInstallFolderCheck, AFreshFolderGetsItsMarkerAndTheDownloadStarts) {
  EXPECT_TRUE(CheckInstallFolder(m_window));
  EXPECT_EQ(ReadWholeFile(Marker()), OwnMarker());
  EXPECT_EQ(platform::ReadIniString(m_temp.Child(L"Tarnnet.db"), L"TarnNet", L"NEWINSTALL"), L"Y");
  EXPECT_TRUE(m_window.m_bProgressState);
  EXPECT_EQ(m_window.m_nDownloads, 1);
  EXPECT_TRUE(m_window.m_boxes.empty());
}

TEST_F(CInstallFolderCheck, TheFieldsTextReplacesTheFolder) {
  const std::wstring strTyped = m_temp.Child(L"typed");
  m_window.m_strFieldText = strTyped;
  EXPECT_TRUE(CheckInstallFolder(m_window));
  EXPECT_EQ(m_window.m_strFolder, strTyped);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(strTyped) / L"version.info"));
}

TEST_F(CInstallFolderCheck, EarlierInstallsAskOrGoOn) {
  const std::wstring strStart = L"版本检查|当前选择目录下已经安装了Ashfall,您要直接启动吗?";
  const std::wstring strReinstall = L"版本检查|当前选择目录下已经安装了Ashfall,您要重新安装吗?";
  const struct {
    const char* pName;
    bool bOwnVersion;
    std::string strOtherMarker;
    bool bLauncher;
    MessageBoxAnswer answer;
    bool bDirect;
    std::vector<std::wstring> boxes;
    int nDownloads;
    int nExitCode;  // -1: the run goes on
  } cases[] = {
      {"own version, no launcher: installs without asking", true, "", false, MessageBoxAnswer::No, false, {}, 1, -1},
      {"own version with launcher, No", true, "", true, MessageBoxAnswer::No, false, {strStart}, 0, -1},
      {"own version with launcher, No, no window", true, "", true, MessageBoxAnswer::No, true, {strStart}, 0, 0},
      {"other version, No", false, "FetchletVersion=1.0.0.1.rl", false, MessageBoxAnswer::No, false, {strReinstall}, 0, -1},
      {"other version, Yes", false, "FetchletVersion=1.0.0.1.rl", false, MessageBoxAnswer::Yes, false, {strReinstall}, 1, -1},
      {"own version with a line end", false, "", false, MessageBoxAnswer::No, false, {strReinstall}, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pName);
    std::filesystem::remove_all(m_strFolder);
    std::string strMarker = c.bOwnVersion ? OwnMarker() : c.strOtherMarker;
    if (strMarker.empty()) strMarker = OwnMarker() + "\r\n";
    PutMarker(strMarker);
    if (c.bLauncher) PutLauncher();
    CRoadScript window;
    window.m_strFolder = m_strFolder;
    window.m_answer = c.answer;
    window.m_bDirect = c.bDirect;
    EXPECT_TRUE(CheckInstallFolder(window));
    EXPECT_EQ(window.m_boxes, c.boxes);
    EXPECT_EQ(window.m_nDownloads, c.nDownloads);
    EXPECT_EQ(window.m_nExitCode, c.nExitCode);
    for (WindowOwner owner : window.m_boxOwners) EXPECT_EQ(owner, WindowOwner::FolderField);
    if (c.nDownloads == 0) EXPECT_EQ(ReadWholeFile(Marker()), strMarker);  // left as it was
  }
}

TEST_F(CInstallFolderCheck, UnusableFoldersAreRefusedBeforeAnythingIsMade) {
  const std::wstring kMalformed = L"安装路径错误|安装路径格式不正确,请更换安装位置。";
  const std::wstring strRelative = std::wstring(L"Games") + platform::kPathSeparator + L"TarnGame";
  const std::wstring strTooLong = m_temp.Child(std::wstring(300, L'a'));
  const struct {
    std::wstring strFolder;
    std::wstring strBox;
  } cases[] = {
      {strRelative, kMalformed},
      {strTooLong, L"安装路径错误|安装路径过长,请更换安装位置。"},
      // The folder goes between quotes into the installer's command line: a
      // quote would end it there and add switches of its own.
      {m_temp.Child(L"a\"b"), kMalformed},
      {m_temp.Child(L"x\" /FOO \"y"), kMalformed},
      {m_temp.Child(L"a\tb"), kMalformed},
      {m_temp.Child(L"a\nb"), kMalformed},
      {m_temp.Child(L"a\x1b" L"b"), kMalformed},
  };
  for (const auto& c : cases) {
    for (bool bDirect : {false, true}) {
      SCOPED_TRACE(WideToUtf8(c.strFolder) + (bDirect ? ", no window" : ", window"));
      CRoadScript window;
      window.m_strFolder = c.strFolder;
      window.m_bDirect = bDirect;
      EXPECT_FALSE(CheckInstallFolder(window));
      EXPECT_EQ(window.m_boxes, std::vector<std::wstring>{c.strBox});
      // With a window the user picks another folder; without one the run ends.
      EXPECT_EQ(window.m_nBrowses, bDirect ? 0 : 1);
      EXPECT_EQ(window.m_nExitCode, bDirect ? 1 : -1);
      EXPECT_EQ(window.m_nDownloads, 0);
      EXPECT_FALSE(platform::PathExists(c.strFolder));
    }
  }
}

// Every path the road builds in the folder (the marker, the installer, the
// launcher) must fit a MAX_PATH buffer: 237 characters at most, however the
// folder came.
TEST_F(CInstallFolderCheck, TheFolderLimitFitsEveryPathBuiltInIt) {
  enum class Source { Picked, Typed, CommandLine };
  const struct {
    const char* pName;
    Source source;
  } sources[] = {{"picked", Source::Picked}, {"typed", Source::Typed}, {"--IDIR", Source::CommandLine}};
  const struct {
    std::size_t nLength;
    bool bAccepted;
  } lengths[] = {{236, true}, {237, true}, {238, false}, {259, false}, {260, false}};

  int nCase = 0;
  for (const auto& s : sources) {
    for (const auto& l : lengths) {
      SCOPED_TRACE(std::string(s.pName) + ", " + std::to_string(l.nLength) + " characters");
      const std::wstring strOwnFolder = m_temp.Child(L"case" + std::to_wstring(++nCase));
      const std::wstring strFolder = PathOfLength(strOwnFolder, l.nLength, platform::kPathSeparator);
      ASSERT_EQ(strFolder.size(), l.nLength);
      CRoadScript window;
      window.m_strFolder = s.source == Source::Typed ? m_strFolder : strFolder;
      // The picker shows its folder in the field; a typed one is all the field holds.
      if (s.source != Source::CommandLine) window.m_strFieldText = strFolder;
      window.m_bDirect = s.source == Source::CommandLine;

      EXPECT_EQ(CheckInstallFolder(window), l.bAccepted);
      // Taken or refused, it is the whole folder, never a cut one.
      EXPECT_EQ(window.m_strFolder, strFolder);
      if (l.bAccepted) {
        EXPECT_TRUE(window.m_boxes.empty());
        EXPECT_EQ(window.m_nDownloads, 1);
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(strFolder) / L"version.info"));
      } else {
        EXPECT_EQ(window.m_boxes, std::vector<std::wstring>{L"安装路径错误|安装路径过长,请更换安装位置。"});
        EXPECT_EQ(window.m_nDownloads, 0);
        EXPECT_EQ(window.m_nExitCode, window.m_bDirect ? 1 : -1);
        EXPECT_EQ(window.m_nBrowses, window.m_bDirect ? 0 : 1);
        EXPECT_FALSE(platform::PathExists(strOwnFolder)) << "made before it was refused";
      }
    }
  }
}

TEST_F(CInstallFolderCheck, AFolderThatCannotBeMadeAsksForAnother) {
  WriteWholeFile(m_temp.Fs() / L"file", "x");
  m_window.m_strFolder = m_temp.Child(L"file") + platform::kPathSeparator + L"TarnGame";
  EXPECT_FALSE(CheckInstallFolder(m_window));
  ASSERT_EQ(m_window.m_boxes.size(), 1u);
  EXPECT_EQ(m_window.m_boxes[0], L"请更换安装路径|当前选择的路径无法安装,请更换安装路径。");
  EXPECT_EQ(m_window.m_nBrowses, 1);
  EXPECT_EQ(m_window.m_nDownloads, 0);
}

}  // namespace
