#include "road/DownloadThread.h"

#include <cwchar>

#include "Deployment.h"
#include "download/DownloadFile.h"
#include "log/DataTypes.h"
#include "log/Log.h"
#include "road/DownloadProgress.h"
#include "road/DownloadUrl.h"
#include "road/InstallerSignature.h"
#include "road/RoadNames.h"
#include "road/RoadPacing.h"
#include "road/RoadThreads.h"
#include "road/RunEndCheck.h"
#include "road/StepFailure.h"

namespace {

constexpr int kSourceCount = 3;

}  // namespace

std::wstring DownloadFailureMessage(std::int32_t nResult, const std::wstring& strUrl) {
  switch (static_cast<std::uint32_t>(nResult)) {
    case 0x80004004u: return L"操作已中止，请尝试使用管理员权限运行";
    case 0x8007000Eu: return L"缓冲器长度无效或没有足够的内存空间完成此次操作";
    case 0x800C0005u: return L"没找到资源，请检查您的网络是否连接正常";
    case 0x800C0006u: return L"服务器不存在这个文件：" + strUrl;
    case 0x800C0008u: return L"指定的资源或回调接口是无效的";
    default: {
      wchar_t szCode[16];
      std::swprintf(szCode, 16, L"%x", static_cast<unsigned>(static_cast<std::uint32_t>(nResult)));
      return std::wstring(L"下载失败，错误码：0x") + szCode;
    }
  }
}

bool StartDownload(IRoadWindow& window) {
  if (StartRoadThread([&window] { DownloadThreadProc(window); })) return true;
  CLog::GetInstance().Report(kEventFailure, L"Create DownloadThreadProc error");
  window.SetStatusText(L"创建下载线程失败");
  ShowFinalContactDialog(window, WindowOwner::MainWindow, L"DownloadFailed");
  return false;
}

void DownloadThreadProc(IRoadWindow& window) {
  CLog& log = CLog::GetInstance();
  const std::wstring strTarget = PathInFolder(window.InstallFolder(), kInstallerFileName);
  CDownloadProgress progress(window);
  const DownloadPacing& pacing = GetRoadPacing().download;

  std::int32_t nResult = 0;
  std::wstring strLog, strUrl, strOutput;
  platform::CFileReadLock installerLock;  // the checked installer, until it has started
  for (int nSource = 0; nSource < kSourceCount; ++nSource) {
    if (RunEndedBefore(window, "the next download source")) return;
    strLog.clear();
    const std::wstring strUrlError = GetDownloadUrl(nSource, strUrl);
    std::wstring strAttempt = std::to_wstring(nSource) + L"URL:" + strUrl;
    if (!strUrlError.empty()) strAttempt += L"Error:" + strUrlError;
    log.Report(kEventDownloadAttempt, strAttempt);

    nResult = DownloadFile(strOutput, strLog, strUrl, strTarget, &progress, pacing);
    // A download the end of the run cut short is no failure of the source.
    if (RunEndedBefore(window, "the rest of the download")) return;
    if (nResult == 0) {
      nResult = CheckDownloadedInstaller(strOutput, strUrl, FETCHLET_INSTALLER_PUBLISHER, strLog, installerLock);
    }
    if (nResult == 0) break;
    strLog += L" ,num" + std::to_wstring(nSource) + L" ,download err";
    log.Report(kEventFailure, strLog);
  }

  if (RunEndedBefore(window, "the install")) return;
  if (nResult == 0) {
    log.Report(kEventDownloaded, strLog);
    window.Install(strOutput, std::move(installerLock));
    return;
  }

  std::wstring strMessage = DownloadFailureMessage(nResult, strUrl) + strLog;
  log.Report(kEventFailure, strMessage);
  window.SetStatusText(strMessage);
  if (window.ShowMessageBox(L"极速下载失败,是否下载完整客户端？", L"下载完整客户端", MessageBoxKind::YesNo,
                            WindowOwner::MainWindow) == MessageBoxAnswer::Yes) {
    window.OpenWebPage(FETCHLET_FULL_PACKAGE_URL, WindowOwner::MainWindow);
    strMessage += L",download full pkg ;";
  } else {
    strMessage += L",click cancel not download full pkg ;";
  }
  log.Report(kEventInstallFailed, strMessage);
  ShowFinalContactDialog(window, WindowOwner::MainWindow, L"DownloadFailed");
}
