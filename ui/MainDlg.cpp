#include "ui/MainDlg.h"

#include <algorithm>
#include <cwchar>

#include "common/AccountId.h"
#include "common/Common.h"
#include "log/Log.h"
#include "platform/FileSystem.h"
#include "platform/InstallLocation.h"
#include "platform/ProgressSink.h"
#include "road/DownloadThread.h"
#include "road/Install.h"
#include "road/InstallFolderCheck.h"
#include "road/LaunchWait.h"

CMainDlg& CMainDlg::GetInstance() {
  static CMainDlg s_dlg;
  return s_dlg;
}

std::wstring CMainDlg::WindowTitle() { return L"《Ashfall》极速下载器(" + GetModuleVersionText() + L")"; }

std::wstring CMainDlg::VersionText() {
  std::wstring strText = L"当前版本:" + GetModuleVersionText();
  const std::wstring strAccountId = GetAccountId();
  if (!strAccountId.empty()) strText += L"(" + strAccountId + L")";
  return strText;
}

bool CMainDlg::Create() { return m_pWindow != nullptr && m_pWindow->Create(WindowTitle()); }

void CMainDlg::OnCreate() { SetInstallFolder(platform::ChooseDefaultBaseFolder()); }

void CMainDlg::OnBrowse() {
  if (!m_pWindow) return;
  const std::wstring strChosen = m_pWindow->ChooseFolder();
  if (!strChosen.empty()) SetInstallFolder(strChosen);
}

void CMainDlg::OnCloseButton() {
  if (ShowMessageBox(L"您确定要放弃安装《Ashfall》吗?", L"退出确认", MessageBoxKind::YesNo,
                     WindowOwner::MainWindow) == MessageBoxAnswer::Yes) {
    Quit(L"BtnClose");
  }
}

bool CMainDlg::HasWindow() const { return m_pWindow != nullptr && m_pWindow->HasWindow(); }

void CMainDlg::HideWindow() {
  if (m_pWindow) m_pWindow->Hide();
}

std::wstring CMainDlg::MakeInstallFolder(const std::wstring& strBase) {
  if (strBase.size() < 2) return platform::DefaultInstallFolder();
  const std::wstring strGameFolder = std::wstring(L"TarnGame") + platform::kPathSeparator + L"ashfallbattle";
  if (strBase.back() == platform::kPathSeparator) return strBase + strGameFolder;
  return strBase + platform::kPathSeparator + strGameFolder;
}

void CMainDlg::SetInstallFolder(const std::wstring& strBase) {
  m_strInstallFolder = MakeInstallFolder(strBase);
  if (m_pWindow) m_pWindow->SetInstallFolderText(m_strInstallFolder);
}

bool CMainDlg::CheckInstallFolder() { return ::CheckInstallFolder(*this); }

bool CMainDlg::StartDownload() { return ::StartDownload(*this); }

bool CMainDlg::Install(const std::wstring& strFile, platform::CFileReadLock installerLock) {
  m_strInstallerFile = strFile;
  return ::Install(*this, strFile, std::move(installerLock));
}

bool CMainDlg::LaunchPlatform() { return ::LaunchPlatform(*this, m_strInstallerFile); }

std::wstring CMainDlg::ShowLastError(std::wstring& strText) {
  strText = GetLastErrorText();
  if (!strText.empty()) SetStatusText(strText);
  return strText;
}

void CMainDlg::SetStatusText(const std::wstring& strInfo) {
  if (strInfo.empty()) {
    CLog::GetInstance().Write("MainDlg.cpp: assertion failed: !strInfo.empty()");
    return;
  }
  if (m_pWindow) m_pWindow->SetStatusText(strInfo);
}

void CMainDlg::SetProgressPosition(unsigned nPermille) {
  if (m_pWindow) m_pWindow->SetProgressPosition(nPermille);
}

void CMainDlg::ShowProgressState() {
  if (m_pWindow) m_pWindow->ShowProgressState();
}

std::wstring CMainDlg::ReadInstallFolderText() {
  return m_pWindow && HasWindow() ? m_pWindow->ReadInstallFolderText() : std::wstring();
}

void CMainDlg::OnDownloadProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode,
                                  const wchar_t* /*szStatusText*/) {
  switch (ulStatusCode) {
    case platform::kBindStatusFindingResource: SetStatusText(L"正在查找资源..."); return;
    case platform::kBindStatusConnecting: SetStatusText(L"正在连接下载服务器..."); return;
    case platform::kBindStatusRedirecting: SetStatusText(L"正在重定向..."); return;
    case platform::kBindStatusBeginDownloadData: SetStatusText(L"开始下载数据"); return;
    case platform::kBindStatusEndDownloadData: SetStatusText(L"下载完成！"); return;
    case platform::kBindStatusSendingRequest: SetStatusText(L"准备下载..."); return;
    case platform::kBindStatusMimeTypeAvailable: SetStatusText(L"有可用的MIME类型"); return;
    case platform::kBindStatusCacheFileNameAvailable: SetStatusText(L"缓存文件名可用"); return;
    case platform::kBindStatusProxyDetecting: SetStatusText(L"正在检测代理..."); return;
    case platform::kBindStatusDownloadingData: break;
    default: {
      wchar_t szCode[16];
      std::swprintf(szCode, 16, L"%lx", ulStatusCode);
      SetStatusText(std::wstring(L"OnDownloadProgress::ulSatusCode=") + szCode);
      return;
    }
  }

  unsigned nPermille = 0;
  if (ulProgressMax != 0) {
    nPermille = static_cast<unsigned>(static_cast<float>(ulProgress) * 1000.0f / static_cast<float>(ulProgressMax));
    SetProgressPosition(nPermille);
  }
  // The dots change every ten permille: one, two, three, three, three, three.
  const unsigned nTenths = nPermille / 10;
  if ((m_nLastProgress / 10) % 3 == nTenths % 3) return;
  static const wchar_t* const kDownloadingTexts[] = {L"正在下载《Ashfall》战网.", L"正在下载《Ashfall》战网..",
                                                    L"正在下载《Ashfall》战网..."};
  SetStatusText(kDownloadingTexts[std::min(nTenths % 6, 2u)]);
  m_nLastProgress = nPermille;
}

// After the end of the run nothing more is asked or shown: a question gets
// its default answer at once.
MessageBoxAnswer CMainDlg::ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                          MessageBoxKind kind, WindowOwner owner) {
  if (!m_pWindow || m_runEnd.HasEnded()) return kind == MessageBoxKind::YesNo ? MessageBoxAnswer::No : MessageBoxAnswer::Ok;
  return m_pWindow->ShowMessageBox(strText, strCaption, kind, owner);
}

bool CMainDlg::ShowContactDialog(WindowOwner owner) {
  return m_pWindow && !m_runEnd.HasEnded() && m_pWindow->ShowContactDialog(owner);
}

void CMainDlg::OpenWebPage(const std::wstring& strUrl, WindowOwner owner) {
  if (m_pWindow && !m_runEnd.HasEnded()) m_pWindow->OpenWebPage(strUrl, owner);
}

void CMainDlg::Quit(const std::wstring& strReason) { EndRun(strReason, 0); }

void CMainDlg::EndRun(const std::wstring& strReason, int nExitCode) {
  CLog& log = CLog::GetInstance();
  if (!m_runEnd.End()) {
    log.Write("The run has already ended; its end by " + WideToAnsi(strReason) + " is not reported.");
    return;
  }
  // The user sees the run end at once, and questions still open return their
  // default; the exit report may then wait for the queue.
  HideWindow();
  if (m_pWindow) m_pWindow->EndRun(nExitCode);
  // The main thread waits for the reports once its loop has ended, answering
  // the window meanwhile (RunFetchlet).
  log.QueueExit(strReason);
}
