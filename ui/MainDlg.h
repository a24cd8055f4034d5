// CMainDlg: the main window object and the install road's methods. It reaches
// the window only through IMainWindow.
#pragma once

#include <string>

#include "ui/MainWindow.h"

class CMainDlg {
public:
  static CMainDlg& GetInstance();

  // The front end this run uses; set once by the entry before any window call.
  void AttachWindow(IMainWindow* pWindow) { m_pWindow = pWindow; }
  IMainWindow* Window() const { return m_pWindow; }

  // Registers the class "TarnFetchlet" and creates and shows the window.
  bool Create();
  // The window's creation step: settles the default install folder.
  void OnCreate();
  bool HasWindow() const;
  void HideWindow();

  // The folder rule: base + "TarnGame\ashfallbattle", or the default folder
  // for a base shorter than 2 characters.
  void SetInstallFolder(const std::wstring& strBase);
  void CheckInstallFolder();
  void SetStatusText(const std::wstring& strInfo);
  // A download's progress report: moves the bar and sets the status text.
  void OnDownloadProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode,
                          const wchar_t* szStatusText);
  MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                  MessageBoxKind kind);
  void ShowContactDialog();

  // Sends the exit event, waits for the statistics queue and ends the calling
  // thread's message loop.
  void Quit(const std::wstring& strReason);

  static std::wstring MakeInstallFolder(const std::wstring& strBase);
  static std::wstring WindowTitle();

  std::wstring m_strInstallFolder;
  // Progress permille at the last change of the downloading text.
  unsigned m_nLastProgress = 0;

private:
  IMainWindow* m_pWindow = nullptr;
};
