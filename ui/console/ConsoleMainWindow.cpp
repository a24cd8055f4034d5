#include "ui/console/ConsoleMainWindow.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "common/Common.h"
#include "platform/WebPage.h"
#include "ui/ContactDialog.h"
#include "ui/MainDlg.h"
#include "ui/console/ConsoleInput.h"

namespace {

std::wstring KeepDigits(const std::wstring& strText) {
  std::wstring strDigits;
  for (wchar_t c : strText) {
    if (c >= L'0' && c <= L'9') strDigits += c;
  }
  return strDigits;
}

}  // namespace

CConsoleMainWindow::CConsoleMainWindow() : CConsoleMainWindow(std::make_shared<CConsoleInput>(), stderr) {}

CConsoleMainWindow::CConsoleMainWindow(std::shared_ptr<CConsoleInput> pInput, std::FILE* pOutput)
    : m_pInput(std::move(pInput)), m_pOutput(pOutput), m_bTerminal(::isatty(::fileno(pOutput)) != 0) {}

CConsoleMainWindow::~CConsoleMainWindow() = default;

void CConsoleMainWindow::PrintLine(const std::wstring& strText) {
  std::lock_guard<std::mutex> lock(m_csOutput);
  WriteLine(strText);
}

void CConsoleMainWindow::WriteLine(const std::wstring& strText) {
  // A line replaces the bar; the next position draws it again below.
  std::fputs(((m_bBarShown ? "\r\x1b[K" : "") + WideToAnsi(strText) + "\n").c_str(), m_pOutput);
  m_bBarShown = false;
  std::fflush(m_pOutput);
}

void CConsoleMainWindow::SetProgressPosition(unsigned nPermille) {
  if (!m_bTerminal || m_bHidden || nPermille == m_nBarPosition.exchange(nPermille)) return;
  constexpr unsigned kBarWidth = 40;
  const unsigned nFilled = std::min(nPermille, 1000u) * kBarWidth / 1000;
  char szBar[96];
  std::snprintf(szBar, sizeof(szBar), "\r[%s%s] %5.1f%%", std::string(nFilled, '#').c_str(),
                std::string(kBarWidth - nFilled, ' ').c_str(), nPermille / 10.0);
  std::lock_guard<std::mutex> lock(m_csOutput);
  std::fputs(szBar, m_pOutput);
  std::fflush(m_pOutput);
  m_bBarShown = true;
}

bool CConsoleMainWindow::Create(const std::wstring& strTitle) {
  m_bCreated = true;
  PrintLine(strTitle);
  PrintLine(CMainDlg::VersionText());
  CMainDlg::GetInstance().OnCreate();
  PrintLine(L"Enter: 立即安装 (type a folder first to change it), q: close");
  return true;
}

void CConsoleMainWindow::Hide() { m_bHidden = true; }

void CConsoleMainWindow::SetInstallFolderText(const std::wstring& strFolder) {
  {
    std::lock_guard<std::mutex> lock(m_csFolder);
    m_strFolderField = strFolder;
  }
  if (m_bCreated && !strFolder.empty()) PrintLine(L"安装路径:" + strFolder);
}

std::wstring CConsoleMainWindow::ReadInstallFolderText() {
  std::lock_guard<std::mutex> lock(m_csFolder);
  // The field holds at most 259 characters; a longer typed folder is kept
  // whole so that the check refuses it rather than a cut one.
  return m_strFolderField;
}

void CConsoleMainWindow::SetStatusText(const std::wstring& strText) {
  if (m_bHidden) return;
  std::lock_guard<std::mutex> lock(m_csOutput);
  // The road sets its text on every progress report: a terminal's bar moves
  // with it, but in a pipe or a file only a change of the text is news.
  if (!m_bTerminal && strText == m_strLastStatus) return;
  m_strLastStatus = strText;
  WriteLine(strText);
}

void CConsoleMainWindow::ShowProgressState() {
  m_pInput->StartRoad();
}

MessageBoxAnswer CConsoleMainWindow::ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                                    MessageBoxKind kind, WindowOwner) {
  PrintLine(L"[" + strCaption + L"] " + strText);
  if (kind != MessageBoxKind::YesNo) return MessageBoxAnswer::Ok;
  PrintLine(L"(y/n)");
  const auto answer = m_pInput->TakeAnswer();
  return answer && (*answer == L"y" || *answer == L"Y") ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
}

bool CConsoleMainWindow::ShowContactDialog(WindowOwner) {
  PrintLine(L"《Ashfall》在安装过程中遇到未知错误");
  PrintLine(L"留下联系方式，技术人员会主动联系您帮您解决问题");
  for (;;) {
    // End of input or the end of the run closes the dialog, like its close box.
    std::wstring fields[3];
    const wchar_t* const kLabels[] = {L"QQ：", L"微信：", L"手机："};
    for (int i = 0; i < 3; ++i) {
      PrintLine(kLabels[i]);
      const auto line = m_pInput->TakeAnswer();
      if (!line) {
        FinishContactDialog(kContactCloseReason);
        return true;
      }
      fields[i] = *line;
    }
    // The QQ and mobile fields take digits only, as the dialog's fields do.
    const std::wstring strReason = BuildContactReason(KeepDigits(fields[0]), fields[1], KeepDigits(fields[2]));
    if (!strReason.empty()) {
      FinishContactDialog(strReason);
      return true;
    }
    ShowMessageBox(kContactEmptyText, kContactEmptyCaption, MessageBoxKind::Ok, WindowOwner::None);
  }
}

std::wstring CConsoleMainWindow::ChooseFolder() {
  PrintLine(L"选择《Ashfall》安装位置 (a folder, or an empty line to keep the current one):");
  const auto line = m_pInput->TakeAnswer();
  return line ? *line : std::wstring();
}

void CConsoleMainWindow::OpenWebPage(const std::wstring& strUrl, WindowOwner) {
  if (!platform::OpenWebPage(strUrl)) PrintLine(L"打开网页: " + strUrl);
}

int CConsoleMainWindow::RunMessageLoop() {
  if (!m_bCreated) return m_pInput->WaitForEnd();  // no window: the road ends the run

  CMainDlg& dlg = CMainDlg::GetInstance();
  for (;;) {
    const auto line = m_pInput->TakeCommand();
    if (m_pInput->HasEnded()) return m_pInput->ExitCode();
    if (!line) {
      // The user is gone: as if the window were destroyed.
      dlg.Quit(L"DestoryClose");
      return m_pInput->ExitCode();
    }
    if (*line == CConsoleInput::kCloseLine) {
      dlg.OnCloseButton();
      continue;
    }
    // Any other line is the install button, which only stands before the road runs.
    if (!line->empty()) {
      std::lock_guard<std::mutex> lock(m_csFolder);
      m_strFolderField = *line;  // typed into the edit field
    }
    dlg.CheckInstallFolder();
  }
}

void CConsoleMainWindow::EndRun(int nExitCode) { m_pInput->End(nExitCode); }
