// The terminal front end writing to a file: what a pipe or a log keeps of
// the road's texts, and a question that the run's end closes.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "common/Common.h"
#include "ui/console/ConsoleInput.h"
#include "ui/console/ConsoleMainWindow.h"

namespace {

using namespace std::chrono_literals;

class ConsoleMainWindowTest : public testing::Test {
protected:
  std::string Output() {
    std::fflush(m_pOutput);
    std::rewind(m_pOutput);
    std::string strText;
    char szBuffer[512];
    std::size_t nRead;
    while ((nRead = std::fread(szBuffer, 1, sizeof(szBuffer), m_pOutput)) > 0) strText.append(szBuffer, nRead);
    return strText;
  }

  void TearDown() override { std::fclose(m_pOutput); }

  std::FILE* m_pOutput = std::tmpfile();
  std::shared_ptr<CConsoleInput> m_pInput = std::make_shared<CConsoleInput>(nullptr);
  CConsoleMainWindow m_window{m_pInput, m_pOutput};
};

TEST_F(ConsoleMainWindowTest, WithoutATerminalAStatusTextIsWrittenOnlyWhenItChanges) {
  ASSERT_NE(m_pOutput, nullptr);
  const std::wstring strOne = L"正在下载《Ashfall》战网.", strTwo = L"正在下载《Ashfall》战网..",
                     strThree = L"正在下载《Ashfall》战网...", strDone = L"下载完成！";
  // The downloading text comes with every progress report.
  for (const auto* pText : {&strOne, &strTwo, &strThree, &strThree, &strThree, &strDone, &strThree}) {
    m_window.SetStatusText(*pText);
    m_window.SetProgressPosition(500);  // no bar without a terminal
  }
  EXPECT_EQ(Output(), WideToAnsi(strOne + L"\n" + strTwo + L"\n" + strThree + L"\n" + strDone + L"\n" +
                                 strThree + L"\n"));
}

TEST_F(ConsoleMainWindowTest, AQuestionOpenAtTheRunsEndIsAnsweredNo) {
  ASSERT_NE(m_pOutput, nullptr);
  auto answer = std::async(std::launch::async, [this] {
    return m_window.ShowMessageBox(L"您确定要放弃安装《Ashfall》吗?", L"退出确认", MessageBoxKind::YesNo,
                                   WindowOwner::MainWindow);
  });
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (m_pInput->WaitingQuestions() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(m_pInput->WaitingQuestions(), 1u);
  m_window.EndRun(0);  // the road's end
  const bool bAnswered = answer.wait_for(5s) == std::future_status::ready;
  if (!bAnswered) m_pInput->EndInput();  // frees the question: the test must not hang
  EXPECT_TRUE(bAnswered) << "the question outlived the run";
  EXPECT_EQ(answer.get(), MessageBoxAnswer::No);
}

}  // namespace

#endif  // _WIN32
