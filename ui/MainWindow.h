// What CMainDlg needs of a window: the Win32 window, the terminal front end
// and the tests' scripted window each implement it. Every call is harmless
// when no window was created (direct-install mode): boxes and dialogs then
// show without an owner.
#pragma once

#include <string>

#include "road/RoadWindow.h"  // the kinds of boxes and owners

class IMainWindow {
public:
  virtual ~IMainWindow() = default;

  // Registers the window class and creates and shows the main window with the
  // title; false when the class cannot be registered.
  virtual bool Create(const std::wstring& strTitle) = 0;
  virtual bool HasWindow() const = 0;
  virtual void Hide() = 0;

  // The folder edit field: what it shows, and all it holds now, however long
  // (the folder check refuses a long one whole); empty when there is no field.
  virtual void SetInstallFolderText(const std::wstring& strFolder) = 0;
  virtual std::wstring ReadInstallFolderText() = 0;

  virtual void SetStatusText(const std::wstring& strText) = 0;
  // The progress bar's position, 0 to 1000; the bar moves only when it changes.
  virtual void SetProgressPosition(unsigned nPermille) = 0;
  // From folder choice to progress: hides the install button, the browse
  // button, the folder field and its label; shows the status line and the bar.
  virtual void ShowProgressState() = 0;

  virtual MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                          MessageBoxKind kind, WindowOwner owner) = 0;
  // The error and contact dialog, modal on the calling thread. Closing or
  // submitting it reports the exit reason and ends the run (EndRun(0)); it
  // then returns true. false when it could not be shown.
  virtual bool ShowContactDialog(WindowOwner owner) = 0;
  // The folder picker owned by the main window: the chosen folder's path, or
  // empty when the user cancelled or chose no file-system folder.
  virtual std::wstring ChooseFolder() = 0;
  // Opens the address in the default browser; does not wait for it.
  virtual void OpenWebPage(const std::wstring& strUrl, WindowOwner owner) = 0;

  // Runs the main thread's message loop until the run ends; returns the exit
  // code handed to EndRun.
  virtual int RunMessageLoop() = 0;
  // Ends the main thread's message loop with the exit code. Callable from any
  // thread; the first code handed over wins.
  virtual void EndRun(int nExitCode) = 0;
  // After the loop has returned: answers what worker threads send the window
  // (texts, hiding) while the main thread waits for them to finish.
  virtual void ServeSentMessages() = 0;
};
