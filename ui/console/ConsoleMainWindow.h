// The terminal front end of the Linux build: the window's texts as lines on
// standard error, the buttons and answers as lines on standard input (end of
// input = No, or the window destroyed). The run's end answers every open
// question with its default.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ui/MainWindow.h"

class CConsoleInput;

class CConsoleMainWindow : public IMainWindow {
public:
  CConsoleMainWindow();
  // A front end on other input and output (tests).
  CConsoleMainWindow(std::shared_ptr<CConsoleInput> pInput, std::FILE* pOutput);
  ~CConsoleMainWindow() override;

  bool Create(const std::wstring& strTitle) override;
  bool HasWindow() const override { return m_bCreated; }
  void Hide() override;
  void SetInstallFolderText(const std::wstring& strFolder) override;
  std::wstring ReadInstallFolderText() override;
  void SetStatusText(const std::wstring& strText) override;
  void SetProgressPosition(unsigned nPermille) override;
  void ShowProgressState() override;
  MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                  MessageBoxKind kind, WindowOwner owner) override;
  bool ShowContactDialog(WindowOwner owner) override;
  std::wstring ChooseFolder() override;
  void OpenWebPage(const std::wstring& strUrl, WindowOwner owner) override;
  int RunMessageLoop() override;
  void EndRun(int nExitCode) override;
  void ServeSentMessages() override {}

private:
  void PrintLine(const std::wstring& strText);
  // The same with m_csOutput held.
  void WriteLine(const std::wstring& strText);

  // Shared with the thread that reads standard input, which may outlive
  // this object at process exit.
  std::shared_ptr<CConsoleInput> m_pInput;
  std::FILE* const m_pOutput;
  // A terminal shows the progress bar; a pipe or a file keeps every line.
  const bool m_bTerminal;
  std::atomic<bool> m_bCreated{false};
  std::atomic<bool> m_bHidden{false};
  std::mutex m_csOutput;
  bool m_bBarShown = false;  // a progress bar stands on the terminal's last line
  std::wstring m_strLastStatus;
  std::atomic<unsigned> m_nBarPosition{~0u};
  std::mutex m_csFolder;
  std::wstring m_strFolderField;
};
