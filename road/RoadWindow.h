// What the install road needs of the main window object: status line and bar,
// the folder field, boxes and dialogs with their owners, the folder picker, a
// web page, the next step of the road, and the end of the run. CMainDlg
// implements it; tests give the road a scripted one.
#pragma once

#include <string>

#include "common/RunEnd.h"
#include "platform/FileReadLock.h"

enum class MessageBoxKind {
  Ok,           // OK button
  OkInfo,       // OK button, information icon
  YesNo,        // Yes and No buttons
};

enum class MessageBoxAnswer { Ok, Yes, No };

// Who owns a message box or dialog: the folder edit field, the main window,
// or nobody. Without a window every owner is nobody.
enum class WindowOwner { FolderField, MainWindow, None };

class IRoadWindow {
public:
  virtual ~IRoadWindow() = default;

  // The folder field's whole text, however long (empty without a field).
  virtual std::wstring ReadInstallFolderText() = 0;
  virtual std::wstring InstallFolder() const = 0;
  virtual void SetInstallFolderValue(const std::wstring& strFolder) = 0;
  // No window: the folder came from the command line and nobody can choose
  // another one.
  virtual bool IsDirectInstall() const = 0;

  virtual void SetStatusText(const std::wstring& strInfo) = 0;
  virtual void SetProgressPosition(unsigned nPermille) = 0;
  virtual void OnDownloadProgress(unsigned long ulProgress, unsigned long ulProgressMax,
                                  unsigned long ulStatusCode, const wchar_t* szStatusText) = 0;
  virtual void ShowProgressState() = 0;

  virtual MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                          MessageBoxKind kind, WindowOwner owner) = 0;
  // Modal; closing or submitting it ends the run. false when it could not be shown.
  virtual bool ShowContactDialog(WindowOwner owner) = 0;
  virtual void OnBrowse() = 0;
  virtual void OpenWebPage(const std::wstring& strUrl, WindowOwner owner) = 0;

  // The road's later steps, entered through the window object.
  virtual bool StartDownload() = 0;
  // installerLock holds the file since its check; Install lets it go once
  // the installer has started.
  virtual bool Install(const std::wstring& strFile, platform::CFileReadLock installerLock) = 0;
  virtual bool LaunchPlatform() = 0;
  virtual std::wstring ShowLastError(std::wstring& strText) = 0;

  // Exit event with the reason, then the run ends with code 0 (Quit) or the
  // given code; the main thread's loop returns and tears down. Only the first
  // end counts: later ones report nothing and change nothing.
  virtual void Quit(const std::wstring& strReason) = 0;
  virtual void EndRun(const std::wstring& strReason, int nExitCode) = 0;
  // The run's end, which the road's steps look at and wait on.
  virtual CRunEnd& RunEnd() = 0;
};
