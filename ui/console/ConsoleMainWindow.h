// The terminal front end of the Linux build: the window's texts as lines on
// standard error, questions answered on standard input (end of input = No).
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "ui/MainWindow.h"

class CConsoleMainWindow : public IMainWindow {
public:
  bool Create(const std::wstring& strTitle) override;
  bool HasWindow() const override { return m_bCreated; }
  void Hide() override;
  void SetInstallFolderText(const std::wstring& strFolder) override;
  void SetStatusText(const std::wstring& strText) override;
  void SetProgressPosition(unsigned nPermille) override;
  MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                  MessageBoxKind kind) override;
  void ShowContactDialog() override;
  int RunMessageLoop() override;
  void PostQuit() override;

private:
  // One line of standard input; nothing at end of input.
  std::optional<std::wstring> ReadLine();
  void PrintLine(const std::wstring& strText);
  bool RunWindowLoop();

  std::atomic<bool> m_bCreated{false};
  std::atomic<bool> m_bHidden{false};
  std::mutex m_csQuit;
  std::condition_variable m_cvQuit;
  bool m_bQuit = false;
  std::mutex m_csOutput;
  bool m_bBarShown = false;  // a progress bar stands on the terminal's last line
  std::atomic<unsigned> m_nBarPosition{~0u};
};
