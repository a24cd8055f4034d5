// CWin32MainWindow: the program's borderless Win32 main window, the front end
// of the shipped program.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "ui/MainWindow.h"

class CWin32MainWindow : public IMainWindow {
public:
  explicit CWin32MainWindow(HINSTANCE hInstance);
  ~CWin32MainWindow() override;
  CWin32MainWindow(const CWin32MainWindow&) = delete;
  CWin32MainWindow& operator=(const CWin32MainWindow&) = delete;

  bool Create(const std::wstring& strTitle) override;
  bool HasWindow() const override;
  void Hide() override;
  void SetInstallFolderText(const std::wstring& strFolder) override;
  void SetStatusText(const std::wstring& strText) override;
  void SetProgressPosition(unsigned nPermille) override;
  MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                  MessageBoxKind kind) override;
  void ShowContactDialog() override;
  int RunMessageLoop() override;
  void PostQuit() override;

  static LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

private:
  void ReleaseBackgroundBrush();

  HINSTANCE m_hInstance;
  // Read by worker threads (message box owner, status text) while the main
  // thread sets and clears it.
  std::atomic<HWND> m_hWnd{nullptr};
  std::atomic<HBRUSH> m_hBkBrush{nullptr};
  // The progress bar (range 0..1000), set from the download thread.
  std::atomic<HWND> m_hProgress{nullptr};
  std::atomic<unsigned> m_nBarPosition{~0u};
};

// The procedure of dialog 110, the error and contact dialog.
INT_PTR CALLBACK ContactDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
