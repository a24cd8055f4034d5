#include "ui/console/ConsoleMainWindow.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "common/AccountSlot.h"
#include "common/Common.h"
#include "ui/ContactDialog.h"
#include "ui/MainDlg.h"

namespace {

std::wstring KeepDigits(const std::wstring& strText) {
  std::wstring strDigits;
  for (wchar_t c : strText) {
    if (c >= L'0' && c <= L'9') strDigits += c;
  }
  return strDigits;
}

std::wstring VersionLine() {
  std::wstring strLine = L"当前版本:" + GetModuleVersionText();
  const std::wstring strAccountId = GetAccountId();
  if (!strAccountId.empty()) strLine += L"(" + strAccountId + L")";
  return strLine;
}

}  // namespace

void CConsoleMainWindow::PrintLine(const std::wstring& strText) {
  std::lock_guard<std::mutex> lock(m_csOutput);
  // A line replaces the bar; the next position draws it again below.
  std::fputs(((m_bBarShown ? "\r\x1b[K" : "") + WideToAnsi(strText) + "\n").c_str(), stderr);
  m_bBarShown = false;
  std::fflush(stderr);
}

void CConsoleMainWindow::SetProgressPosition(unsigned nPermille) {
  static const bool s_bTerminal = ::isatty(STDERR_FILENO) != 0;
  if (!s_bTerminal || m_bHidden || nPermille == m_nBarPosition.exchange(nPermille)) return;
  constexpr unsigned kBarWidth = 40;
  const unsigned nFilled = std::min(nPermille, 1000u) * kBarWidth / 1000;
  char szBar[96];
  std::snprintf(szBar, sizeof(szBar), "\r[%s%s] %5.1f%%", std::string(nFilled, '#').c_str(),
                std::string(kBarWidth - nFilled, ' ').c_str(), nPermille / 10.0);
  std::lock_guard<std::mutex> lock(m_csOutput);
  std::fputs(szBar, stderr);
  std::fflush(stderr);
  m_bBarShown = true;
}

std::optional<std::wstring> CConsoleMainWindow::ReadLine() {
  std::string strLine;
  if (!std::getline(std::cin, strLine)) return std::nullopt;
  if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
  return AnsiToWide(strLine);
}

bool CConsoleMainWindow::Create(const std::wstring& strTitle) {
  m_bCreated = true;
  PrintLine(strTitle);
  PrintLine(VersionLine());
  CMainDlg::GetInstance().OnCreate();
  PrintLine(L"Enter: 立即安装 (type a folder first to change it), q: close");
  return true;
}

void CConsoleMainWindow::Hide() { m_bHidden = true; }

void CConsoleMainWindow::SetInstallFolderText(const std::wstring& strFolder) {
  if (m_bCreated && !strFolder.empty()) PrintLine(L"安装路径:" + strFolder);
}

void CConsoleMainWindow::SetStatusText(const std::wstring& strText) {
  if (!m_bHidden) PrintLine(strText);
}

MessageBoxAnswer CConsoleMainWindow::ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                                    MessageBoxKind kind) {
  PrintLine(L"[" + strCaption + L"] " + strText);
  if (kind != MessageBoxKind::YesNo) return MessageBoxAnswer::Ok;
  PrintLine(L"(y/n)");
  const auto answer = ReadLine();
  return answer && (*answer == L"y" || *answer == L"Y") ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
}

void CConsoleMainWindow::ShowContactDialog() {
  PrintLine(L"《Ashfall》在安装过程中遇到未知错误");
  PrintLine(L"留下联系方式，技术人员会主动联系您帮您解决问题");
  for (;;) {
    // End of input closes the dialog, like its close box.
    PrintLine(L"QQ：");
    const auto qq = ReadLine();
    if (!qq) FinishContactDialog(kContactCloseReason);
    PrintLine(L"微信：");
    const auto wechat = ReadLine();
    if (!wechat) FinishContactDialog(kContactCloseReason);
    PrintLine(L"手机：");
    const auto mobile = ReadLine();
    if (!mobile) FinishContactDialog(kContactCloseReason);

    // The QQ and mobile fields take digits only, as the dialog's fields do.
    const std::wstring strReason = BuildContactReason(KeepDigits(*qq), *wechat, KeepDigits(*mobile));
    if (!strReason.empty()) FinishContactDialog(strReason);
    ShowMessageBox(kContactEmptyText, kContactEmptyCaption, MessageBoxKind::Ok);
  }
}

bool CConsoleMainWindow::RunWindowLoop() {
  CMainDlg& dlg = CMainDlg::GetInstance();
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_csQuit);
      if (m_bQuit) return true;
    }
    const auto line = ReadLine();
    if (!line) {
      // The user is gone: as if the window were destroyed.
      dlg.Quit(L"DestoryClose");
      return true;
    }
    if (*line == L"q") {
      if (dlg.ShowMessageBox(L"您确定要放弃安装《Ashfall》吗?", L"退出确认", MessageBoxKind::YesNo) ==
          MessageBoxAnswer::Yes) {
        dlg.Quit(L"BtnClose");
      }
      continue;
    }
    if (!line->empty()) dlg.m_strInstallFolder = *line;  // the edit field's text
    dlg.CheckInstallFolder();
  }
}

int CConsoleMainWindow::RunMessageLoop() {
  if (m_bCreated) {
    RunWindowLoop();
    return 0;
  }
  // No window: the install road's threads end the run.
  std::unique_lock<std::mutex> lock(m_csQuit);
  m_cvQuit.wait(lock, [this] { return m_bQuit; });
  return 0;
}

void CConsoleMainWindow::PostQuit() {
  {
    std::lock_guard<std::mutex> lock(m_csQuit);
    m_bQuit = true;
  }
  m_cvQuit.notify_all();
}
