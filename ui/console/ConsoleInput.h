// Standard input as the terminal front end's buttons and answers: one reader
// thread, lines handed out in order. Questions (asked on any thread) are
// served in the order they were asked and before the main loop; once the
// road runs, the main loop takes only the close button's line, so that the
// answers typed ahead stay for the road's questions. The end of the run wakes
// the main loop and every open question.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class CConsoleInput : public std::enable_shared_from_this<CConsoleInput> {
public:
  // The close button's line.
  static constexpr const wchar_t* kCloseLine = L"q";

  // Lines come from the stream (standard input by default); without one they
  // come only through AddLine and EndInput.
  explicit CConsoleInput(std::istream* pSource);
  CConsoleInput();

  // Starts the reader on first use. The object must be owned by a shared_ptr.
  void Start();
  // What the reader hands over: one typed line, and the end of input.
  void AddLine(std::wstring strLine);
  void EndInput();

  // The next line for a question; nothing at end of input or once the run
  // has ended (the question's default then).
  std::optional<std::wstring> TakeAnswer();
  // The install button is gone and the road runs on its own threads: from
  // now on lines are answers for its questions, except the close button.
  void StartRoad();
  // The next line for the main loop: any line before the road runs, only a
  // close button standing first once it runs. Nothing once the run has ended,
  // or when the user is gone: end of input with no line left and no question
  // of the road that would end the run itself.
  std::optional<std::wstring> TakeCommand();
  // Questions waiting for a line now.
  std::size_t WaitingQuestions();

  // The run's end: the first exit code wins; the main loop and every open
  // question wake up.
  void End(int nExitCode);
  bool HasEnded();
  int ExitCode();
  // Waits for End (a run without a window, where nobody types).
  int WaitForEnd();

private:
  void ReadLoop();

  std::istream* const m_pSource;
  std::mutex m_cs;
  std::condition_variable m_cv;
  std::deque<std::wstring> m_lines;
  // The open questions by their turn, oldest first.
  std::deque<std::uint64_t> m_askers;
  std::uint64_t m_nNextTurn = 0;
  std::thread::id m_mainLoopThread;
  bool m_bStarted = false;
  bool m_bEndOfInput = false;
  bool m_bRoadRuns = false;
  // A question from the road's threads: every one leads to the run's end,
  // which the road then brings about itself.
  bool m_bRoadAsked = false;
  bool m_bEnded = false;
  int m_nExitCode = 0;
};
