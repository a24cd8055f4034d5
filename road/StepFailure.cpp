#include "road/StepFailure.h"

#include "log/Log.h"
#include "platform/OsVersion.h"

namespace {

constexpr unsigned kNewestOldWindows = 0x0501;

}  // namespace

bool IsOldWindows(const OsVersionReading& version) {
  if (!version.bWindows) return false;
  if (!version.bReadable) return true;  // unreadable counts as 0.0
  return (((version.nMajor & 0xFF) << 8) | (version.nMinor & 0xFF)) <= kNewestOldWindows;
}

bool IsOldWindows() {
  OsVersionReading version;
  version.bWindows = platform::OsVersionIsWindows();
  version.bReadable = platform::GetOsVersion(version.nMajor, version.nMinor);
  return IsOldWindows(version);
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
