// CMainDlg: the main window object. It owns the install folder and the
// front end of this run, keeps the install road's entry points under their
// own names and lends the road (road/) its window through IRoadWindow.
#pragma once

#include <string>

#include "road/RoadWindow.h"
#include "ui/MainWindow.h"

class CMainDlg : public IRoadWindow {
public:
  static CMainDlg& GetInstance();

  // The front end this run uses; set once by the entry before any window call.
  void AttachWindow(IMainWindow* pWindow) { m_pWindow = pWindow; }
  IMainWindow* Window() const { return m_pWindow; }

  // Registers the class "TarnFetchlet" and creates and shows the window.
  bool Create();
  // The window's creation step: settles the default install folder.
  void OnCreate();
  // Command 4: the folder picker; a chosen folder gets the game's tail.
  void OnBrowse() override;
  // Command 2: asks before the run is given up.
  void OnCloseButton();
  bool HasWindow() const;
  void HideWindow();

  // The folder rule: base + "TarnGame\ashfallbattle", or the default folder
  // for a base shorter than 2 characters.
  void SetInstallFolder(const std::wstring& strBase);

  // The install road (command 1 and "--IDIR"): folder check, download,
  // install, launch. Each is a thin entry into road/.
  bool CheckInstallFolder();
  bool StartDownload() override;
  bool Install(const std::wstring& strFile, platform::CFileReadLock installerLock) override;
  bool LaunchPlatform() override;
  // The calling thread's last system error as text, also shown in the status
  // line when it is not empty.
  std::wstring ShowLastError(std::wstring& strText) override;

  void SetStatusText(const std::wstring& strInfo) override;
  // A download's progress report: moves the bar and sets the status text.
  void OnDownloadProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode,
                          const wchar_t* szStatusText) override;
  void SetProgressPosition(unsigned nPermille) override;
  void ShowProgressState() override;
  std::wstring ReadInstallFolderText() override;
  std::wstring InstallFolder() const override { return m_strInstallFolder; }
  void SetInstallFolderValue(const std::wstring& strFolder) override { m_strInstallFolder = strFolder; }
  bool IsDirectInstall() const override { return !HasWindow(); }
  MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                  MessageBoxKind kind, WindowOwner owner = WindowOwner::MainWindow) override;
  bool ShowContactDialog(WindowOwner owner = WindowOwner::MainWindow) override;
  void OpenWebPage(const std::wstring& strUrl, WindowOwner owner) override;

  // Queues the exit event and hands exit code 0 to the main thread, whose
  // loop then returns; the main thread then waits for the reports.
  void Quit(const std::wstring& strReason) override;
  // The same with another exit code. The first end of the run wins: it hides
  // the window, wakes the front end's questions and ends its loop, then
  // queues the exit event; every later end is only logged.
  void EndRun(const std::wstring& strReason, int nExitCode) override;
  CRunEnd& RunEnd() override { return m_runEnd; }

  static std::wstring MakeInstallFolder(const std::wstring& strBase);
  static std::wstring WindowTitle();
  // The version line: "当前版本:" + version, and the account id in brackets
  // when this copy carries one.
  static std::wstring VersionText();

  std::wstring m_strInstallFolder;
  // Progress permille at the last change of the downloading text.
  unsigned m_nLastProgress = 0;

private:
  IMainWindow* m_pWindow = nullptr;
  CRunEnd m_runEnd;
  // The installer Install ran; LaunchPlatform clears it away.
  std::wstring m_strInstallerFile;
};
