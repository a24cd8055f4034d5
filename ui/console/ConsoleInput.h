// Standard input as the terminal front end's buttons and answers: one reader
// thread, lines handed out in order. A question (asked on any thread) takes
// the next line before the main loop does, and the end of the run wakes the
// main loop even while nobody types.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CConsoleInput : public std::enable_shared_from_this<CConsoleInput> {
public:
  // Starts the reader on first use. The object must be owned by a shared_ptr.
  void Start();

  // The next line for a question; nothing at end of input.
  std::optional<std::wstring> TakeAnswer();
  // The next line for the main loop, when no question waits for it; nothing
  // at end of input or once the run has ended.
  std::optional<std::wstring> TakeCommand();

  // The run's end: the first exit code wins; the main loop wakes up.
  void End(int nExitCode);
  bool HasEnded();
  int ExitCode();
  // Waits for End (a run without a window, where nobody types).
  int WaitForEnd();

private:
  void ReadLoop();

  std::mutex m_cs;
  std::condition_variable m_cv;
  std::deque<std::wstring> m_lines;
  bool m_bStarted = false;
  bool m_bEndOfInput = false;
  bool m_bEnded = false;
  int m_nExitCode = 0;
  int m_nQuestions = 0;
};
