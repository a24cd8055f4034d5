#include "app/Startup.h"

#include <chrono>
#include <cstdlib>

#include "log/Log.h"
#include "road/RoadThreads.h"
#include "platform/SingleInstance.h"
#include "ui/MainDlg.h"
#include "ui/MainWindow.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitNoWindow = 2;
// A worker that ended the run leaves at once; one still in a step (the user
// closed the window mid-download) is not waited for longer than this.
constexpr std::chrono::milliseconds kRoadStopBound{5000};

// The contact dialog ends the run when it closes: exit code 0 then, once its
// exit event has gone.
int ShowRefusal(CMainDlg& dlg, CLog& log, int nExitCode) {
  const bool bShown = dlg.ShowContactDialog(WindowOwner::None);
  log.FinishReports();
  return bShown ? 0 : nExitCode;
}

// The process ends here, on the main thread: the reports still unsent go
// (within their bound), and teardown of CMainDlg and CLog runs once no road
// worker can touch them any more. Meanwhile the window still answers the
// workers, whose window calls wait for the main thread.
int FinishRun(IMainWindow& window, CLog& log, int nExitCode) {
  constexpr std::chrono::milliseconds kServeInterval{20};
  log.FinishReports([&window] { window.ServeSentMessages(); });
  const auto deadline = std::chrono::steady_clock::now() + kRoadStopBound;
  while (std::chrono::steady_clock::now() < deadline) {
    if (WaitForRoadThreads(kServeInterval)) return nExitCode;
    window.ServeSentMessages();
  }
  log.Write("An install step is still running at the end of the run: the process ends without teardown.");
  std::_Exit(nExitCode);
}

}  // namespace

std::wstring FindDirectInstallFolder(const std::vector<std::wstring>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] != L"--IDIR") continue;
    return i + 1 < args.size() ? args[i + 1] : std::wstring();
  }
  return std::wstring();
}

int RunFetchlet(const std::vector<std::wstring>& args, IMainWindow& window) {
  // The log comes first: its file is open and the start event queued before
  // anything else happens, the single-instance test included.
  CLog& log = CLog::GetInstance();
  CMainDlg& dlg = CMainDlg::GetInstance();
  dlg.AttachWindow(&window);
  log.m_fnTellNotAdministrator = [&dlg] {
    dlg.ShowMessageBox(L"请右键点击选择以管理员身份运行。", L"需要管理员权限", MessageBoxKind::OkInfo,
                       WindowOwner::None);
  };

  if (!log.Startup()) return ShowRefusal(dlg, log, kExitRefused);

  if (platform::IsAnotherInstanceRunning()) {
    log.ReportExit(L"ProgressExist.");
    dlg.ShowMessageBox(L"已经有一个Ashfall在运行了", L"提示", MessageBoxKind::Ok, WindowOwner::None);
    return kExitRefused;
  }

  const std::wstring strDirectFolder = FindDirectInstallFolder(args);
  if (!strDirectFolder.empty()) {
    dlg.SetInstallFolder(strDirectFolder);
    dlg.CheckInstallFolder();
  } else if (!dlg.Create()) {
    return ShowRefusal(dlg, log, kExitNoWindow);
  }
  return FinishRun(window, log, window.RunMessageLoop());
}
