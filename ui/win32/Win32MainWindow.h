// CWin32MainWindow: the program's borderless Win32 main window, the front end
// of the shipped program.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "ui/MainWindow.h"
#include "ui/win32/ImageButton.h"
#include "ui/win32/WindowFonts.h"

class CWin32MainWindow : public IMainWindow {
public:
  // Construct on the thread that runs the message loop: EndRun tells that
  // thread from the others by its id.
  explicit CWin32MainWindow(HINSTANCE hInstance);
  ~CWin32MainWindow() override;
  CWin32MainWindow(const CWin32MainWindow&) = delete;
  CWin32MainWindow& operator=(const CWin32MainWindow&) = delete;

  bool Create(const std::wstring& strTitle) override;
  bool HasWindow() const override;
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
  void ServeSentMessages() override;

  static LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

private:
  // The in-process window checks read the controls' handles and the picture
  // buttons' state.
  friend class CWin32MainWindowInspector;

  void CreateControls(HWND hWnd);
  void LayoutControls(HWND hWnd);
  // Handlers of WM_COMMAND; false for a command that is not the window's.
  bool OnCommand(HWND hWnd, int nCommand);
  void DestroyImageButtons();
  void ForgetWindow();
  HWND OwnerHandle(WindowOwner owner) const;
  void ReleaseBackgroundBrush();

  HINSTANCE m_hInstance;
  DWORD m_dwMainThreadId;
  // The handles are read by worker threads (status text, progress, boxes'
  // owners) while the main thread sets them and clears them at destruction.
  std::atomic<HWND> m_hWnd{nullptr};
  std::atomic<HBRUSH> m_hBkBrush{nullptr};
  // Only the main thread makes, moves, shows and destroys the picture buttons.
  CImageButton m_btnInstall;
  CImageButton m_btnClose;
  CImageButton m_btnMin;
  std::atomic<HWND> m_hProgress{nullptr};  // range 0..1000
  std::atomic<HWND> m_hStatus{nullptr};
  std::atomic<HWND> m_hBrowseButton{nullptr};
  std::atomic<HWND> m_hFolderLabel{nullptr};
  std::atomic<HWND> m_hFolderEdit{nullptr};
  std::atomic<HWND> m_hVersionLabel{nullptr};
  std::atomic<unsigned> m_nBarPosition{~0u};
  CWindowFonts m_fonts;
  // The first EndRun wins; its code is what the loop returns.
  std::atomic<bool> m_bRunEnded{false};
  std::atomic<int> m_nExitCode{0};
};

// The procedure of dialog 110, the error and contact dialog.
INT_PTR CALLBACK ContactDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
