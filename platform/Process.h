// Processes as the install road needs them: start a program with a command
// line, wait for it within a time limit, count running programs by image name.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace platform {

enum class ProcessPriority {
  Normal,  // the launcher
  High,    // the installer: ahead of the user's other work, never ahead of the system's input and disk
};

enum class ProcessWait {
  Ended,     // the process has ended
  TimedOut,  // still running when the time ran out
  Failed,    // the process cannot be waited for
};

// A started process; releases what the system holds for it (it never ends
// the process itself).
class CProcess {
public:
  CProcess();
  ~CProcess();
  CProcess(CProcess&& other) noexcept;
  CProcess& operator=(CProcess&& other) noexcept;
  CProcess(const CProcess&) = delete;
  CProcess& operator=(const CProcess&) = delete;

  bool IsStarted() const;

  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

// Starts strApplication with strCommandLine, no handle inheritance, the
// parent's environment and current folder. The command line is the text a
// Windows program gets: its first token stands where the program name would,
// so a line of arguments starts with a blank. On Linux it is split into
// arguments by CommandLineToArgvW's rules and that first token is dropped; an
// empty command line gives the program no arguments. false with the last
// error set when the process cannot be created.
bool StartProcess(const std::wstring& strApplication, const std::wstring& strCommandLine,
                  ProcessPriority priority, CProcess& process);

// Waits at most timeout. Once the process has ended (on Linux the first such
// wait reaps it), every later wait answers Ended at once.
ProcessWait WaitForProcess(CProcess& process, std::chrono::milliseconds timeout);

// Running processes whose executable's file name equals strImageName without
// regard to letter case; -1 when the process list cannot be read.
int CountProcessesByImageName(const std::wstring& strImageName);

}  // namespace platform
