#include "road/Install.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "log/DataTypes.h"
#include "log/Log.h"
#include "platform/ProgressSink.h"
#include "road/RoadPacing.h"
#include "road/RoadThreads.h"
#include "road/RunEndCheck.h"
#include "road/StepFailure.h"

namespace {

constexpr unsigned kInstallStepPermille = 40;
constexpr unsigned kInstalledPermille = 900;

}  // namespace

std::wstring BuildInstallerCommandLine(const std::wstring& strFolder) {
  // The folder check lets no folder over kMaxInstallFolderLength through, so
  // the line always fits the installer's 1024-unit buffer.
  return L" /verysilent /suppressmsgboxes /DIR=\"" + strFolder + L"\"";
}

std::wstring InstallingText(unsigned nPoll) {
  static const wchar_t* const kTexts[] = {L"正在安装《Ashfall》战网.", L"正在安装《Ashfall》战网..",
                                          L"正在安装《Ashfall》战网..."};
  return kTexts[nPoll % 3];
}

unsigned InstallingPosition(unsigned nPoll) { return (kInstallStepPermille * nPoll) % 1000; }

bool Install(IRoadWindow& window, const std::wstring& strFile, platform::CFileReadLock installerLock) {
  if (RunEndedBefore(window, "the installer's start")) return false;
  CLog& log = CLog::GetInstance();
  log.Report(kEventInstall, std::wstring());
  window.SetStatusText(L"正在安装《Ashfall》战网...");

  const std::wstring strFolder = window.InstallFolder();
  auto pInstaller = std::make_shared<platform::CProcess>();
  bool bStarted = false;
  if (!StartUnlessRunEnded(window, "the installer's start", [&] {
        // High, not real-time: an installer that runs for minutes must not
        // starve the machine's input and disk threads.
        bStarted = platform::StartProcess(strFile, BuildInstallerCommandLine(strFolder),
                                          platform::ProcessPriority::High, *pInstaller);
      })) {
    return false;
  }
  // Held from its check until the system has opened it to start it; later
  // the launch step deletes it.
  installerLock.Release();
  if (bStarted) {
    if (!StartRoadThread([&window, pInstaller] { WaittingInstallThreadProc(window, *pInstaller); })) {
      log.Report(kEventInstallFailed, L"Create WaittingInstallThreadProc error");
      ShowFinalContactDialog(window, WindowOwner::MainWindow, L"InstallFailed");
    }
    return true;
  }
  ReportStartFailure(window, kEventInstallFailed, strFolder, L"安装失败");
  return false;
}

void WaittingInstallThreadProc(IRoadWindow& window, platform::CProcess& installer) {
  const auto poll = GetRoadPacing().installPoll;
  // Waited for in short slices: the end of the run must not wait a whole poll.
  const auto slice = std::min(poll, platform::kStopPollInterval);
  // Its exit code is not looked at: the launcher's presence tells success.
  unsigned nPoll = 0;
  auto nextPoll = std::chrono::steady_clock::now() + poll;
  while (platform::WaitForProcess(installer, slice) == platform::ProcessWait::TimedOut) {
    // The installer goes on alone; nothing is started after it.
    if (RunEndedBefore(window, "the wait for the installer")) return;
    if (std::chrono::steady_clock::now() < nextPoll) continue;
    nextPoll += poll;
    ++nPoll;
    window.SetStatusText(InstallingText(nPoll));
    window.SetProgressPosition(InstallingPosition(nPoll));
  }
  window.SetProgressPosition(kInstalledPermille);
  window.LaunchPlatform();
}
