#include "app/Startup.h"

#include "log/Log.h"
#include "platform/SingleInstance.h"
#include "ui/MainDlg.h"
#include "ui/MainWindow.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitNoWindow = 2;

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

  if (!log.Startup()) {
    dlg.ShowContactDialog();
    return kExitRefused;
  }

  if (platform::IsAnotherInstanceRunning()) {
    log.ReportExit(L"ProgressExist.");
    dlg.ShowMessageBox(L"已经有一个Ashfall在运行了", L"提示", MessageBoxKind::Ok);
    return kExitRefused;
  }

  const std::wstring strDirectFolder = FindDirectInstallFolder(args);
  if (!strDirectFolder.empty()) {
    dlg.SetInstallFolder(strDirectFolder);
    dlg.CheckInstallFolder();
  } else if (!dlg.Create()) {
    dlg.ShowContactDialog();
    return kExitNoWindow;
  }
  return window.RunMessageLoop();
}
