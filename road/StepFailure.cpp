#include "road/StepFailure.h"

#include "log/Log.h"
#include "platform/OsVersion.h"

namespace {

constexpr unsigned kNewestOldWindows = 0x0501;

}  // namespace

bool IsOldWindows() {
  unsigned nMajor = 0, nMinor = 0;
  if (!platform::GetOsVersion(nMajor, nMinor)) return true;  // unreadable counts as 0.0
  return (((nMajor & 0xFF) << 8) | (nMinor & 0xFF)) <= kNewestOldWindows;
}

void ReportStartFailure(IRoadWindow& window, int nDataType, const std::wstring& strPath,
                        const std::wstring& strCaption) {
  std::wstring strError;
  window.ShowLastError(strError);
  CLog::GetInstance().Report(nDataType, strError + L",InstallPath:" + strPath);
  if (!strError.empty()) window.ShowMessageBox(strError, strCaption, MessageBoxKind::Ok, WindowOwner::MainWindow);
  ShowFinalContactDialog(window, WindowOwner::MainWindow, L"StartFailed");
}

void ShowFinalContactDialog(IRoadWindow& window, WindowOwner owner, const std::wstring& strExitReason) {
  if (!window.ShowContactDialog(owner) && window.IsDirectInstall()) window.EndRun(strExitReason, 1);
}
