#include <gtest/gtest.h>

#include <chrono>

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

}  // namespace
