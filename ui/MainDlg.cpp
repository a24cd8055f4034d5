#include "ui/MainDlg.h"

#include "common/Common.h"
#include "log/Log.h"
#include "platform/FileSystem.h"
#include "platform/InstallLocation.h"

CMainDlg& CMainDlg::GetInstance() {
  static CMainDlg s_dlg;
  return s_dlg;
}

std::wstring CMainDlg::WindowTitle() { return L"《Ashfall》极速下载器(" + GetModuleVersionText() + L")"; }

bool CMainDlg::Create() { return m_pWindow != nullptr && m_pWindow->Create(WindowTitle()); }

void CMainDlg::OnCreate() { SetInstallFolder(platform::ChooseDefaultBaseFolder()); }

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

void CMainDlg::CheckInstallFolder() {
  // The install road (folder check, download, install, launch) is not part
  // of this build yet: say so in the log and end the run honestly.
  CLog::GetInstance().Write("Install road unavailable in this build: " + WideToAnsi(m_strInstallFolder));
  Quit(L"InstallUnavailable");
}

void CMainDlg::SetStatusText(const std::wstring& strInfo) {
  if (strInfo.empty()) {
    CLog::GetInstance().Write("MainDlg.cpp: assertion failed: !strInfo.empty()");
    return;
  }
  if (m_pWindow) m_pWindow->SetStatusText(strInfo);
}

MessageBoxAnswer CMainDlg::ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                          MessageBoxKind kind) {
  if (!m_pWindow) return kind == MessageBoxKind::YesNo ? MessageBoxAnswer::No : MessageBoxAnswer::Ok;
  return m_pWindow->ShowMessageBox(strText, strCaption, kind);
}

void CMainDlg::ShowContactDialog() {
  if (m_pWindow) m_pWindow->ShowContactDialog();
}

void CMainDlg::Quit(const std::wstring& strReason) {
  CLog::GetInstance().ReportExit(strReason);
  if (m_pWindow) m_pWindow->PostQuit();
}
