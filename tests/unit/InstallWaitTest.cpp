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

TEST(InstallWait, AnInstallerOfTwoAndAHalfSecondsAnimatesTwiceThenLaunches) {
  CTempFolder temp;
  const std::wstring strInstaller = CopyFakeClient(temp, L"setup.exe");
  CScopedEnvironment slow("FETCHLET_FIXTURE_INSTALL_MS", "2500");
  const std::wstring strFolder = temp.Child(L"game");

  platform::CProcess installer;
  ASSERT_TRUE(platform::StartProcess(strInstaller, BuildInstallerCommandLine(strFolder),
                                     platform::ProcessPriority::High, installer))
      << WideToUtf8(GetLastErrorText());
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
  CTempFolder temp;
  const std::wstring strInstaller = CopyFakeClient(temp, L"setup.exe");
  CScopedEnvironment slow("FETCHLET_FIXTURE_INSTALL_MS", "3000");
  const std::wstring strFolder = temp.Child(L"game");

  platform::CProcess installer;
  ASSERT_TRUE(platform::StartProcess(strInstaller, BuildInstallerCommandLine(strFolder),
                                     platform::ProcessPriority::High, installer));
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

  window.m_strFolder = temp.Child(L"other");
  EXPECT_FALSE(Install(window, strInstaller, platform::CFileReadLock()));
  std::this_thread::sleep_for(500ms);  // an installer started would have made its folder by now
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(window.m_strFolder)));
}

}  // namespace
