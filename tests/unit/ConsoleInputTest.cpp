// The terminal front end's input: lines handed to questions and to the main
// loop in order, whatever thread asks and however the threads interleave, and
// the end of the run waking whoever waits. The Linux build's front end.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ui/console/ConsoleInput.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::wstring>;

// A wait that should end at once is given this long before it counts as
// hanging; one that must go on is watched for kStillWaiting.
constexpr auto kWakeBound = 5s;
constexpr auto kStillWaiting = 150ms;
// The main loop's own end: the user gone (the window destroyed).
constexpr int kGoneCode = 7;
// The end a test brings about to free a call that would hang.
constexpr int kTeardownCode = 99;

std::shared_ptr<CConsoleInput> ScriptedInput() { return std::make_shared<CConsoleInput>(nullptr); }

// Frees whatever still waits at a test's end, even where the run's end would
// not: end of input answers every question.
void FreeWaiters(CConsoleInput& input) {
  input.End(kTeardownCode);
  input.EndInput();
}

bool WaitUntil(const std::function<bool()>& fnDone) {
  const auto deadline = std::chrono::steady_clock::now() + kWakeBound;
  while (!fnDone()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// The main loop as CConsoleMainWindow runs it: a close button asks its
// question (answered No unless "y"), end of input ends the run.
class CMainLoop {
public:
  explicit CMainLoop(std::shared_ptr<CConsoleInput> pInput)
      : m_pInput(std::move(pInput)), m_thread([this] { Run(); }) {}
  ~CMainLoop() {
    FreeWaiters(*m_pInput);
    if (m_thread.joinable()) m_thread.join();
  }
  // Once the loop has returned: what it took, and the close question's answers.
  Lines Commands() {
    m_thread.join();
    return m_commands;
  }
  Lines CloseAnswers() {
    std::lock_guard<std::mutex> lock(m_cs);
    return m_closeAnswers;
  }

private:
  void Run() {
    for (;;) {
      const auto line = m_pInput->TakeCommand();
      if (m_pInput->HasEnded()) return;
      if (!line) {
        m_pInput->End(kGoneCode);
        return;
      }
      m_commands.push_back(*line);
      if (*line == CConsoleInput::kCloseLine) {
        const auto answer = m_pInput->TakeAnswer();
        {
          std::lock_guard<std::mutex> lock(m_cs);
          m_closeAnswers.push_back(answer.value_or(L"<none>"));
        }
        if (answer == L"y") m_pInput->End(0);
      }
    }
  }

  std::shared_ptr<CConsoleInput> m_pInput;
  Lines m_commands;
  std::mutex m_cs;
  Lines m_closeAnswers;
  std::thread m_thread;
};

// A call on a thread of its own: a question of the road's worker, or the
// main loop's wait for a command. Should it still wait at teardown, the
// run's end frees it.
template <typename T>
class CCallOnThread {
public:
  CCallOnThread(std::shared_ptr<CConsoleInput> pInput, std::function<T()> fnCall)
      : m_pInput(std::move(pInput)), m_result(std::async(std::launch::async, std::move(fnCall))) {}
  ~CCallOnThread() {
    if (m_result.valid() && !Returned(0ms)) FreeWaiters(*m_pInput);
  }
  CCallOnThread(const CCallOnThread&) = delete;
  CCallOnThread& operator=(const CCallOnThread&) = delete;

  bool Returned(std::chrono::milliseconds within) {
    return m_result.wait_for(within) == std::future_status::ready;
  }
  // The result; a call that hangs fails the test instead.
  T Get() {
    if (!Returned(kWakeBound)) {
      ADD_FAILURE() << "the call did not return";
      FreeWaiters(*m_pInput);
    }
    return m_result.get();
  }

private:
  std::shared_ptr<CConsoleInput> m_pInput;
  std::future<T> m_result;
};

using CAnswer = CCallOnThread<std::optional<std::wstring>>;

std::unique_ptr<CAnswer> AskOnWorker(const std::shared_ptr<CConsoleInput>& pInput) {
  return std::make_unique<CAnswer>(pInput, [pInput] { return pInput->TakeAnswer(); });
}

std::unique_ptr<CAnswer> TakeCommandOnThread(const std::shared_ptr<CConsoleInput>& pInput) {
  return std::make_unique<CAnswer>(pInput, [pInput] { return pInput->TakeCommand(); });
}

TEST(ConsoleInput, BeforeTheRoadLinesAreCommandsAndTheMainThreadsQuestionTakesTheNext) {
  auto pInput = ScriptedInput();
  for (const wchar_t* pLine : {L"/games", L"y", L"", L"q"}) pInput->AddLine(pLine);
  EXPECT_EQ(pInput->TakeCommand(), L"/games");  // the folder typed, Enter
  EXPECT_EQ(pInput->TakeAnswer(), L"y");        // the folder check's question
  EXPECT_EQ(pInput->TakeCommand(), L"");        // Enter again
  EXPECT_EQ(pInput->TakeCommand(), L"q");
  pInput->EndInput();
  EXPECT_EQ(pInput->TakeAnswer(), std::nullopt);  // end of input: No
  EXPECT_EQ(pInput->TakeCommand(), std::nullopt);  // the user is gone
  EXPECT_FALSE(pInput->HasEnded());
}

// The road's failure question and the contact dialog's three fields, typed
// ahead in one go, against a main loop that waits for commands all along:
// every answer reaches its question in order, and the contact dialog's end
// is the run's end, whether or not input ended after the last line.
TEST(ConsoleInput, AnswersTypedAheadReachTheRoadsQuestionsInOrderUnderAnyInterleaving) {
  const Lines answers = {L"n", L"111", L"wx", L"222"};
  for (unsigned nSeed = 0; nSeed < 400; ++nSeed) {
    SCOPED_TRACE("seed " + std::to_string(nSeed));
    std::mt19937 random(nSeed);
    const bool bEndOfInput = random() % 2 == 0;
    auto pause = [](std::mt19937& r) {
      const unsigned n = r() % 4;
      if (n == 1) std::this_thread::yield();
      if (n >= 2) std::this_thread::sleep_for(std::chrono::microseconds(r() % 300));
    };

    auto pInput = ScriptedInput();
    CMainLoop mainLoop(pInput);
    pInput->StartRoad();  // the install button was pressed before
    std::mt19937 workerRandom(random()), readerRandom(random());
    CCallOnThread<Lines> worker(pInput, [&] {
      Lines got;
      for (std::size_t i = 0; i < answers.size(); ++i) {
        pause(workerRandom);
        got.push_back(pInput->TakeAnswer().value_or(L"<none>"));
      }
      pInput->End(0);  // the contact dialog submitted
      return got;
    });
    std::thread reader([&] {
      for (const auto& strLine : answers) {
        pause(readerRandom);
        pInput->AddLine(strLine);
      }
      if (bEndOfInput) pInput->EndInput();
    });
    reader.join();
    EXPECT_EQ(worker.Get(), answers);
    EXPECT_EQ(mainLoop.Commands(), Lines{});
    EXPECT_EQ(pInput->ExitCode(), 0) << "the main loop ended the run first";
    if (HasFailure()) break;
  }
}

TEST(ConsoleInput, OnceTheRoadRunsTheMainLoopTakesOnlyACloseButtonStandingFirst) {
  {
    SCOPED_TRACE("a close button first is taken; its question gets the next line");
    auto pInput = ScriptedInput();
    pInput->StartRoad();
    pInput->AddLine(L"q");
    pInput->AddLine(L"n");
    CMainLoop mainLoop(pInput);
    ASSERT_TRUE(WaitUntil([&] { return pInput->WaitingQuestions() == 0 && !mainLoop.CloseAnswers().empty(); }));
    pInput->End(0);
    EXPECT_EQ(mainLoop.Commands(), Lines{L"q"});
    EXPECT_EQ(mainLoop.CloseAnswers(), Lines{L"n"});
  }
  {
    SCOPED_TRACE("a close button behind an answer waits for the road's question to take it");
    auto pInput = ScriptedInput();
    pInput->StartRoad();
    pInput->AddLine(L"x");
    pInput->AddLine(L"q");
    auto command = TakeCommandOnThread(pInput);
    EXPECT_FALSE(command->Returned(kStillWaiting));
    EXPECT_EQ(AskOnWorker(pInput)->Get(), L"x");
    EXPECT_EQ(command->Get(), L"q");
  }
  {
    SCOPED_TRACE("a close button typed while the road asks is the road's answer");
    auto pInput = ScriptedInput();
    pInput->StartRoad();
    CMainLoop mainLoop(pInput);
    auto answer = AskOnWorker(pInput);
    ASSERT_TRUE(WaitUntil([&] { return pInput->WaitingQuestions() == 1; }));
    pInput->AddLine(L"q");
    EXPECT_EQ(answer->Get(), L"q");
    pInput->End(0);
    EXPECT_EQ(mainLoop.Commands(), Lines{});
  }
}

TEST(ConsoleInput, TwoOpenQuestionsAreAnsweredInTheOrderTheyWereAsked) {
  auto pInput = ScriptedInput();
  pInput->StartRoad();
  pInput->AddLine(L"q");
  CMainLoop mainLoop(pInput);  // takes the close button and asks
  ASSERT_TRUE(WaitUntil([&] { return pInput->WaitingQuestions() == 1; }));
  auto roadAnswer = AskOnWorker(pInput);
  ASSERT_TRUE(WaitUntil([&] { return pInput->WaitingQuestions() == 2; }));
  pInput->AddLine(L"n");  // for the close question, asked first
  pInput->AddLine(L"y");
  EXPECT_EQ(roadAnswer->Get(), L"y");
  ASSERT_TRUE(WaitUntil([&] { return !mainLoop.CloseAnswers().empty(); }));
  pInput->End(0);
  EXPECT_EQ(mainLoop.CloseAnswers(), Lines{L"n"});
}

// End of input once the road runs: the user who typed nothing more is gone;
// answers typed ahead, or a question the road has asked, leave the end to
// the road.
TEST(ConsoleInput, EndOfInputWhileTheRoadRunsEndsTheRunOnlyWhenNothingIsLeftForTheRoad) {
  struct Case {
    const char* pName;
    Lines lines;
    bool bRoadAsks;  // the road asks one question, with the lines still there
    bool bGone;
  };
  const Case cases[] = {
      {"nothing typed", {}, false, true},
      {"an answer left", {L"n"}, false, false},
      {"the road took the last answer", {L"n"}, true, false},
      {"the road asked after input ended", {}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pName);
    auto pInput = ScriptedInput();
    pInput->StartRoad();
    for (const auto& strLine : c.lines) pInput->AddLine(strLine);
    if (c.bRoadAsks) {
      auto answer = AskOnWorker(pInput);
      if (c.lines.empty()) {
        ASSERT_TRUE(WaitUntil([&] { return pInput->WaitingQuestions() == 1; }));
        pInput->EndInput();
      }
      EXPECT_EQ(answer->Get(), c.lines.empty() ? std::nullopt : std::optional<std::wstring>(c.lines[0]));
    }
    pInput->EndInput();
    auto command = TakeCommandOnThread(pInput);
    if (c.bGone) {
      EXPECT_EQ(command->Get(), std::nullopt);
      EXPECT_FALSE(pInput->HasEnded());
    } else {
      EXPECT_FALSE(command->Returned(kStillWaiting));
      pInput->End(0);  // the road's own end
      EXPECT_EQ(command->Get(), std::nullopt);
    }
  }
}

TEST(ConsoleInput, TheRunsEndWakesEveryOpenQuestionAndLaterOnesGetTheirDefaultAtOnce) {
  auto pInput = ScriptedInput();
  pInput->StartRoad();
  pInput->AddLine(L"q");
  CMainLoop mainLoop(pInput);  // the close question is open
  ASSERT_TRUE(WaitUntil([&] { return pInput->WaitingQuestions() == 1; }));
  auto roadAnswer = AskOnWorker(pInput);
  ASSERT_TRUE(WaitUntil([&] { return pInput->WaitingQuestions() == 2; }));
  pInput->End(0);  // the road ends the run, nobody answers
  EXPECT_EQ(roadAnswer->Get(), std::nullopt);
  EXPECT_EQ(mainLoop.Commands(), Lines{L"q"});
  EXPECT_EQ(mainLoop.CloseAnswers(), Lines{L"<none>"});
  // A line typed after the end answers nothing: the window is gone.
  pInput->AddLine(L"y");
  EXPECT_EQ(pInput->TakeAnswer(), std::nullopt);
  EXPECT_EQ(pInput->TakeCommand(), std::nullopt);
  EXPECT_EQ(pInput->ExitCode(), 0);
}

}  // namespace

#endif  // _WIN32
