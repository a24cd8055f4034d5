#include "road/InstallFolderCheck.h"

#include "common/Common.h"
#include "log/DataTypes.h"
#include "log/Log.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/InputFile.h"
#include "platform/OutputFile.h"
#include "platform/Process.h"
#include "platform/SystemError.h"
#include "road/InstallFolderRules.h"
#include "road/RoadNames.h"
#include "road/StepFailure.h"

namespace {


PathStyle ThisSystemsPathStyle() {
  return platform::kPathSeparator == L'\\' ? PathStyle::Windows : PathStyle::Posix;
}

// A refusal of the folder: the user picks another one, or, without a window,
// the run ends (nobody could pick one and the loop would wait for ever).
void OfferAnotherFolder(IRoadWindow& window) {
  if (window.IsDirectInstall()) {
    window.EndRun(kDirectInstallRefusedReason, 1);
  } else {
    window.OnBrowse();
  }
}

// A "No" to one of the two questions: the window stays as it was; a run
// without a window has nothing left to do.
void Decline(IRoadWindow& window) {
  if (window.IsDirectInstall()) window.EndRun(kDirectInstallDeclinedReason, 0);
}

enum class EarlierInstall { None, Declined, Started };

// Step 2: an install made by this program is recognised by its marker.
EarlierInstall CheckEarlierInstall(IRoadWindow& window, const std::wstring& strFolder) {
  std::string strBytes;
  if (!platform::ReadFileHead(PathInFolder(strFolder, kMarkerFileName), kMarkerReadLimit, strBytes)) {
    return EarlierInstall::None;
  }
  const std::wstring strVersion = AnsiToWide(ParseMarkerValue(strBytes));
  if (strVersion == GetModuleVersionText()) {
    const std::wstring strLauncher = PathInFolder(strFolder, kLauncherFileName);
    if (!platform::PathExists(strLauncher)) return EarlierInstall::None;
    if (window.ShowMessageBox(L"当前选择目录下已经安装了Ashfall,您要直接启动吗?", L"版本检查",
                              MessageBoxKind::YesNo, WindowOwner::FolderField) != MessageBoxAnswer::Yes) {
      return EarlierInstall::Declined;
    }
    platform::CProcess launcher;
    if (platform::StartProcess(strLauncher, std::wstring(), platform::ProcessPriority::Normal, launcher)) {
      window.Quit(L"alreadyinstall");
      return EarlierInstall::Started;
    }
    return EarlierInstall::None;  // a launcher that won't start: install again
  }
  if (window.ShowMessageBox(L"当前选择目录下已经安装了Ashfall,您要重新安装吗?", L"版本检查",
                            MessageBoxKind::YesNo, WindowOwner::FolderField) != MessageBoxAnswer::Yes) {
    return EarlierInstall::Declined;
  }
  return EarlierInstall::None;
}

// The marker counts as written when the whole line reached the file.
bool WriteMarker(const std::wstring& strPath) {
  const std::string strText = WideToAnsi(MarkerText(GetModuleVersionText()));
  platform::COutputFile file;
  if (!file.Open(strPath, false)) return false;
  const bool bWritten = file.Write(strText.data(), strText.size()) && !strText.empty();
  const unsigned long nError = platform::GetLastErrorCode();
  const bool bClosed = file.Close();
  platform::SetLastErrorCode(nError);
  return bWritten && bClosed;
}

}  // namespace

bool CheckInstallFolder(IRoadWindow& window) {
  CLog& log = CLog::GetInstance();
  const std::wstring strFieldText = window.ReadInstallFolderText();
  if (!strFieldText.empty()) window.SetInstallFolderValue(strFieldText);
  const std::wstring strFolder = window.InstallFolder();

  // Before anything is read, made or written: a folder whose marker,
  // installer or launcher path would not fit the system's path buffers is
  // refused whole, wherever it came from, never cut to another folder.
  if (strFolder.size() > kMaxInstallFolderLength) {
    log.Report(kEventFailure, L"安装准备失败.安装路径过长(" + std::to_wstring(strFolder.size()) +
                                     L"):" + strFolder);
    window.ShowMessageBox(L"安装路径过长,请更换安装位置。", L"安装路径错误", MessageBoxKind::Ok,
                          WindowOwner::FolderField);
    OfferAnotherFolder(window);
    return false;
  }

  switch (CheckEarlierInstall(window, strFolder)) {
    case EarlierInstall::Declined: Decline(window); return true;
    case EarlierInstall::Started: return true;
    case EarlierInstall::None: break;
  }

  std::wstring strFailure = L"安装准备失败.";
  const std::wstring strDrive = FolderDrive(strFolder, ThisSystemsPathStyle());
  if (strDrive.empty()) {
    window.ShowMessageBox(L"安装路径格式不正确,请更换安装位置。", L"安装路径错误", MessageBoxKind::Ok,
                          WindowOwner::FolderField);
    OfferAnotherFolder(window);
    return false;
  }

  const std::uint64_t nFreeBytes = GetFreeDiskSpace(strDrive);
  const std::wstring strFreeGiB = std::to_wstring(WholeGiB(nFreeBytes));
  if (WholeGiB(nFreeBytes) < kRequiredFreeGiB) {
    strFailure += L".磁盘剩余空间不足,剩余:" + strFreeGiB + L"G";
    log.Report(kEventFailure, strFailure);
    window.ShowMessageBox(L"安装《Ashfall》最少需要 8G 的磁盘空间,请保留足够的安装空间。\n当前磁盘可用空间：" +
                              strFreeGiB + L"G",
                          L"磁盘空间不足", MessageBoxKind::Ok, WindowOwner::FolderField);
    if (window.IsDirectInstall()) window.EndRun(kDirectInstallRefusedReason, 1);
    return false;
  }

  platform::SetLastErrorCode(0);
  CreateMultiDir(strFolder);
  unsigned long nError = platform::GetLastErrorCode();
  const bool bFolderExists = platform::PathExists(strFolder);
  if (bFolderExists) {
    const std::wstring strMarker = PathInFolder(strFolder, kMarkerFileName);
    platform::SetLastErrorCode(0);
    if (WriteMarker(strMarker)) {
      window.ShowProgressState();
      platform::WriteIniString(log.m_strRecordFile, L"TarnNet", L"NEWINSTALL", L"Y");
      window.StartDownload();
      return true;
    }
    nError = platform::GetLastErrorCode();
    strFailure += L"文件:" + strMarker;
  } else {
    strFailure += L"目录:" + strFolder;
  }

  platform::SetLastErrorCode(nError);
  std::wstring strError;
  window.ShowLastError(strError);
  strFailure += L".错误信息:" + strError + L".剩余空间:" + std::to_wstring(WholeMiB(nFreeBytes)) + L"Mb";
  log.Report(kEventFailure, strFailure);

  if (bFolderExists) {
    window.ShowMessageBox(L"当前选择的路径没有安装权限,请更换安装路径。", L"权限不足", MessageBoxKind::Ok,
                          WindowOwner::FolderField);
    ShowFinalContactDialog(window, WindowOwner::MainWindow, kDirectInstallRefusedReason);
  } else {
    window.ShowMessageBox(L"当前选择的路径无法安装,请更换安装路径。", L"请更换安装路径", MessageBoxKind::Ok,
                          WindowOwner::FolderField);
    OfferAnotherFolder(window);
  }
  return false;
}
