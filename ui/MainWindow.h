// What the install road needs of a window: the Win32 window, the terminal
// front end and the tests' scripted window each implement it. Every call is
// harmless when no window was created (direct-install mode).
#pragma once

#include <optional>
#include <string>

enum class MessageBoxKind {
  Ok,           // OK button
  OkInfo,       // OK button, information icon
  YesNo,        // Yes and No buttons
};

enum class MessageBoxAnswer { Ok, Yes, No };

class IMainWindow {
public:
  virtual ~IMainWindow() = default;

  // Registers the window class and creates and shows the main window with the
  // title; false when the class cannot be registered.
  virtual bool Create(const std::wstring& strTitle) = 0;
  virtual bool HasWindow() const = 0;
  virtual void Hide() = 0;
  virtual void SetInstallFolderText(const std::wstring& strFolder) = 0;
  virtual void SetStatusText(const std::wstring& strText) = 0;
  // The progress bar's position, 0 to 1000; the bar moves only when it changes.
  virtual void SetProgressPosition(unsigned nPermille) = 0;

  // Owned by the main window when there is one, otherwise by none.
  virtual MessageBoxAnswer ShowMessageBox(const std::wstring& strText,
                                          const std::wstring& strCaption,
                                          MessageBoxKind kind) = 0;
  // The error and contact dialog; it ends the process when it closes, so it
  // returns only when it could not be shown.
  virtual void ShowContactDialog() = 0;

  // Runs the calling thread's message loop until quit; returns its exit code.
  virtual int RunMessageLoop() = 0;
  // Ends the calling thread's message loop.
  virtual void PostQuit() = 0;
};
