#include "road/LaunchWait.h"

#include <system_error>
#include <thread>

#include "Deployment.h"
#include "common/DeviceRecord.h"
#include "log/DataTypes.h"
#include "log/Log.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Process.h"
#include "road/RoadNames.h"
#include "road/RoadPacing.h"
#include "road/RunEndCheck.h"
#include "road/StepFailure.h"

int FindProcess(const std::wstring& strImageName) { return platform::CountProcessesByImageName(strImageName); }

bool LaunchPlatform(IRoadWindow& window, const std::wstring& strInstallerFile) {
  if (RunEndedBefore(window, "the launch")) return false;
  CLog& log = CLog::GetInstance();
  window.SetStatusText(L"正在清除临时文件");
  // The installer has done its work; its copy is the temporary file.
  if (!strInstallerFile.empty()) platform::DeleteFileAt(strInstallerFile);

  if (IsOldWindows()) {
    log.Report(kEventInstalled, std::wstring());
    window.ShowMessageBox(L"恭喜你安装成功,点击桌面《塔恩战网》开始游戏吧！", L"安装成功", MessageBoxKind::Ok,
                          WindowOwner::MainWindow);
    window.Quit(L"VersionLowerInstallOK");
    return true;
  }

  const std::wstring strLauncher = PathInFolder(window.InstallFolder(), kLauncherFileName);
  if (!platform::PathExists(strLauncher)) {
    window.SetStatusText(L"《Ashfall》战网安装失败");
    log.Report(kEventInstallFailed, L"InstallPath: " + strLauncher);
    if (window.ShowMessageBox(L"安装出现错误,启动文件没找到!\r是否打开《Ashfall》官网下载最新版本客户端？",
                              L"客户端版本错误", MessageBoxKind::YesNo, WindowOwner::None) ==
        MessageBoxAnswer::Yes) {
      window.OpenWebPage(FETCHLET_SITE_DOWNLOAD_URL, WindowOwner::None);
    }
    ShowFinalContactDialog(window, WindowOwner::MainWindow, L"LauncherMissing");
    return false;
  }

  log.Report(kEventInstalled, std::wstring());
  window.SetStatusText(L"《Ashfall》战网安装完毕");
  log.Report(kEventLaunching, std::wstring());
  window.SetStatusText(L"正在启动《Ashfall》战网...");

  platform::CProcess launcher;
  bool bStarted = false;
  if (!StartUnlessRunEnded(window, "the launcher's start", [&] {
        bStarted = platform::StartProcess(strLauncher, std::wstring(), platform::ProcessPriority::Normal, launcher);
      })) {
    return false;
  }
  if (bStarted) {
    try {
      std::thread waiter([&window] { WaittingLaunchThreadProc(window); });
      waiter.join();
    } catch (const std::system_error&) {
      log.Report(kEventLaunchFailed, L"Create WaittingLaunchThreadProc error");
      window.ShowContactDialog(WindowOwner::MainWindow);
    }
    // Once the launcher runs, the run ends here, unless the wait's contact
    // dialog (or the user) has ended it already with its own reason.
    if (!RunEndedBefore(window, "the launch step's own end")) window.Quit(L"Success");
    return true;
  }

  ReportStartFailure(window, kEventLaunchFailed, strLauncher, L"启动失败");
  return false;
}

void WaittingLaunchThreadProc(IRoadWindow& window) {
  CLog& log = CLog::GetInstance();
  const RoadPacing& pacing = GetRoadPacing();
  std::wstring strResult;
  for (std::chrono::milliseconds elapsed{0};; elapsed += pacing.launchPoll) {
    const std::wstring strLastCall = platform::ReadIniString(log.m_strRecordFile, kRecordSection, kLastCallKey);
    if (strLastCall.empty()) {
      strResult = L"GetPrivateProfileString LastCall Error.";
    } else if (strLastCall != kLastCallValue) {
      // The platform has written its own value: it is up if its process runs.
      const int nCount = FindProcess(kPlatformImageName);
      if (nCount == 0) strResult += L"Tarn.net.exe not found.";
      if (nCount == -1) strResult += L"call FindProcess failed.";
      log.Report(kEventPlatformAnswered, strResult);
      if (nCount <= 0) window.ShowContactDialog(WindowOwner::None);
      return;
    }
    if (elapsed >= pacing.launchTimeout) {
      strResult += L"WaittingLaunchThreadProc timeout.";
      log.Report(kEventLaunchFailed, strResult);
      window.ShowContactDialog(WindowOwner::None);
      return;
    }
    if (window.RunEnd().WaitFor(pacing.launchPoll)) {
      RunEndedBefore(window, "the rest of the wait for the platform");
      return;
    }
  }
}
