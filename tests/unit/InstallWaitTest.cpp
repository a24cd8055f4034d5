#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/Common.h"
#include "platform/Process.h"
#include "road/Install.h"
#include "tests/unit/FakeClient.h"
#include "tests/unit/RoadScript.h"

namespace {

using namespace std::chrono_literals;

// The fixture installer copied into the folder, taking that many
// milliseconds for its install into the folder's "game".
struct CSlowInstaller {
  explicit CSlowInstaller(const char* pMilliseconds)
      : strFile(CopyFakeClient(temp, L"setup.exe")),
        slow("FETCHLET_FIXTURE_INSTALL_MS", pMilliseconds),
        strFolder(temp.Child(L"game")) {}
  bool Start() {
    return platform::StartProcess(strFile, BuildInstallerCommandLine(strFolder), platform::ProcessPriority::High,
                                  process);
  }
  CTempFolder temp;
  std::wstring strFile;
  CScopedEnvironment slow;
  std::wstring strFolder;
  platform::CProcess process;
};

TEST(InstallWait, AnInstallerOfTwoAndAHalfSecondsAnimatesTwiceThenLaunches) {
  CSlowInstaller setup("2500");
  ASSERT_TRUE(setup.Start()) << WideToUtf8(GetLastErrorText());
  platform::CProcess& installer = setup.process;
  const std::wstring& strFolder = setup.strFolder;
  CRoadScript window;
  WaittingInstallThreadProc(window, installer);  // polls once a second, as shipped

  // Two polls see it running; a slow process start (Wine) may add a third.
  const std::size_t nPolls = window.m_statusTexts.size();
  ASSERT_TRUE(nPolls == 2 || nPolls == 3) << nPolls;
  std::vector<std::wstring> expectedTexts;
  std::vector<unsigned> expectedPositions;
  for (unsigned n = 1; n <= nPolls; ++n) {
    expectedTexts.push_back(InstallingText(n));
    expectedPositions.push_back(40 * n);
  }
  expectedPositions.push_back(900);
  EXPECT_EQ(window.m_statusTexts, expectedTexts);
  EXPECT_EQ(expectedTexts[0], L"正在安装《Ashfall》战网..");
  EXPECT_EQ(expectedTexts[1], L"正在安装《Ashfall》战网...");
  EXPECT_EQ(window.m_positions, expectedPositions);
  EXPECT_EQ(window.m_nLaunches, 1);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(strFolder) / L"Tarn.net Launcher.exe"));
}

// The user's stop while the installer runs: the wait ends at once, the
// installer goes on alone and no launch follows; a run that has ended starts
// no installer at all.
TEST(InstallWait, TheEndOfTheRunStopsTheWaitAndStartsNothingMore) {
  CSlowInstaller setup("3000");
  ASSERT_TRUE(setup.Start());
  platform::CProcess& installer = setup.process;
  CRoadScript window;
  std::thread stopper([&window] {
    std::this_thread::sleep_for(300ms);
    window.Quit(L"BtnClose");
  });
  const auto start = std::chrono::steady_clock::now();
  WaittingInstallThreadProc(window, installer);
  const auto took = std::chrono::steady_clock::now() - start;
  stopper.join();
  EXPECT_LT(took, 2000ms) << "the wait outlived the end of the run";
  EXPECT_EQ(window.m_nLaunches, 0);
  EXPECT_EQ(window.m_strEndReason, L"BtnClose");
  EXPECT_EQ(platform::WaitForProcess(installer, 10s), platform::ProcessWait::Ended);

  window.m_strFolder = setup.temp.Child(L"other");
  EXPECT_FALSE(Install(window, setup.strFile, platform::CFileReadLock()));
  std::this_thread::sleep_for(500ms);  // an installer started would have made its folder by now
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(window.m_strFolder)));
}

}  // namespace
