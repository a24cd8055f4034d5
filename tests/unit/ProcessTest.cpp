// Starting, waiting for and counting processes, with the fake client as the
// child: as an installer it records the arguments it got, as the platform it
// stays up for a while, as the launcher it starts the platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/Common.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/SystemError.h"
#include "tests/unit/FakeClient.h"
#include "tests/unit/TestSupport.h"

namespace {

using namespace std::chrono_literals;

std::string Utf8Lines(const std::vector<std::wstring>& lines) {
  std::string strText;
  for (const std::wstring& strLine : lines) strText += WideToUtf8(strLine) + "\n";
  return strText;
}

TEST(Process, StartsWithTheCommandLineSplitIntoArguments) {
  CTempFolder temp;
  const std::wstring strInstaller = CopyFakeClient(temp, L"setup.exe");
  // A downloaded installer has no execute bit; starting it must give it one.
  std::filesystem::permissions(strInstaller,
                               std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                   std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::remove);

  const std::wstring strFolder = temp.Child(L"Tarn Game");
  const std::wstring strOther = temp.Child(L"other place");
  const struct {
    const char* szName;
    std::wstring strCommandLine;
    std::wstring strFolder;
    std::vector<std::wstring> expected;
    bool bInstalls;
  } cases[] = {
      {"the installer's line", L" /verysilent /suppressmsgboxes /DIR=\"" + strFolder + L"\"", strFolder,
       {L"/verysilent", L"/suppressmsgboxes", L"/DIR=" + strFolder}, true},
      // The first token stands for the program name; an installer given more
      // than its switches records them and installs nothing.
      {"escaped quote, quoted blanks, tab", L"setup.exe /DIR=\"" + strOther + L"\"\ta\\\"b \"c d\"", strOther,
       {L"/DIR=" + strOther, L"a\"b", L"c d"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    platform::CProcess process;
    ASSERT_TRUE(platform::StartProcess(strInstaller, c.strCommandLine, platform::ProcessPriority::High, process))
        << WideToUtf8(GetLastErrorText());
    ASSERT_EQ(platform::WaitForProcess(process, 20s), platform::ProcessWait::Ended);
    const std::filesystem::path folder(c.strFolder);
    EXPECT_EQ(ReadWholeFile(folder / "install-args.txt"), Utf8Lines(c.expected));
    EXPECT_EQ(std::filesystem::exists(folder / "Tarn.net.exe"), c.bInstalls);
    EXPECT_EQ(std::filesystem::exists(folder / "Tarn.net Launcher.exe"), c.bInstalls);
  }
}

TEST(Process, WaitEndsAtTheTimeLimitAndCountIgnoresLetterCase) {
  CTempFolder temp;
  const std::wstring strPlatform = CopyFakeClient(temp, L"Tarn.net.exe");
  CScopedEnvironment mode("FETCHLET_FIXTURE_PLATFORM", "silent");
  CScopedEnvironment stay("FETCHLET_FIXTURE_PLATFORM_MS", "2000");

  platform::CProcess process;
  ASSERT_TRUE(platform::StartProcess(strPlatform, L"", platform::ProcessPriority::Normal, process))
      << WideToUtf8(GetLastErrorText());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::WaitForProcess(process, 100ms), platform::ProcessWait::TimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);

  for (const wchar_t* pName : {L"Tarn.net.exe", L"TARN.NET.EXE", L"tarn.Net.Exe"}) {
    SCOPED_TRACE(WideToUtf8(pName));
    EXPECT_GE(platform::CountProcessesByImageName(pName), 1);
  }
  EXPECT_EQ(platform::CountProcessesByImageName(L"Tarn.net"), 0);

  EXPECT_EQ(platform::WaitForProcess(process, 20s), platform::ProcessWait::Ended);
  // An ended process stays ended for every later wait.
  EXPECT_EQ(platform::WaitForProcess(process, 0ms), platform::ProcessWait::Ended);
}

TEST(Process, LauncherStartsThePlatformWithAnEmptyCommandLine) {
  CTempFolder temp;
  const std::wstring strLauncher = CopyFakeClient(temp, L"Tarn.net Launcher.exe");
  const std::wstring strPlatform = CopyFakeClient(temp, L"Tarn.net.exe");
  CScopedEnvironment mode("FETCHLET_FIXTURE_PLATFORM", "silent");
  CScopedEnvironment stay("FETCHLET_FIXTURE_PLATFORM_MS", "0");

  platform::CProcess process;
  ASSERT_TRUE(platform::StartProcess(strLauncher, L"", platform::ProcessPriority::Normal, process))
      << WideToUtf8(GetLastErrorText());
  ASSERT_EQ(platform::WaitForProcess(process, 20s), platform::ProcessWait::Ended);

  // The platform is the launcher's child: only its traces tell it ran and ended.
  const std::string strExpected = "launcher started\nplatform started\n";
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  std::error_code error;
  while ((ReadWholeFile(temp.Fs() / "fixture.log") != strExpected ||
          !std::filesystem::remove(strPlatform, error)) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(ReadWholeFile(temp.Fs() / "fixture.log"), strExpected);
  EXPECT_FALSE(std::filesystem::exists(strPlatform)) << "the platform did not end";
}

TEST(Process, StartFailsWithTheSystemsReason) {
  CTempFolder temp;
  const struct {
    const char* szName;
    std::wstring strApplication;
  } cases[] = {
      {"missing program", temp.Child(L"missing.exe")},
      {"a folder", temp.Path()},
      {"no name", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    platform::CProcess process;
    platform::SetLastErrorCode(0);
    EXPECT_FALSE(platform::StartProcess(c.strApplication, L" /verysilent", platform::ProcessPriority::High, process));
    EXPECT_FALSE(GetLastErrorText().empty());
    EXPECT_FALSE(process.IsStarted());
    EXPECT_EQ(platform::WaitForProcess(process, 10ms), platform::ProcessWait::Failed);
  }
}

}  // namespace
