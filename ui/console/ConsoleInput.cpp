#include "ui/console/ConsoleInput.h"

#include <algorithm>
#include <iostream>
#include <system_error>

#include "common/Common.h"

CConsoleInput::CConsoleInput(std::istream* pSource) : m_pSource(pSource) {}

CConsoleInput::CConsoleInput() : CConsoleInput(&std::cin) {}

void CConsoleInput::Start() {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    if (m_bStarted || m_pSource == nullptr) return;
    m_bStarted = true;
  }
  try {
    // Detached: a read blocked on a terminal cannot be called back; the
    // process exit takes it along.
    std::thread([pSelf = shared_from_this()] { pSelf->ReadLoop(); }).detach();
  } catch (const std::system_error&) {
    EndInput();  // nobody can type: every question is a No
  }
}

void CConsoleInput::ReadLoop() {
  std::string strLine;
  while (std::getline(*m_pSource, strLine)) {
    if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
    AddLine(AnsiToWide(strLine));
  }
  EndInput();
}

void CConsoleInput::AddLine(std::wstring strLine) {
  std::lock_guard<std::mutex> lock(m_cs);
  m_lines.push_back(std::move(strLine));
  m_cv.notify_all();
}

void CConsoleInput::EndInput() {
  std::lock_guard<std::mutex> lock(m_cs);
  m_bEndOfInput = true;
  m_cv.notify_all();
}

std::optional<std::wstring> CConsoleInput::TakeAnswer() {
  Start();
  std::unique_lock<std::mutex> lock(m_cs);
  if (m_bRoadRuns && std::this_thread::get_id() != m_mainLoopThread) m_bRoadAsked = true;
  const std::uint64_t nTurn = m_nNextTurn++;
  m_askers.push_back(nTurn);
  // Two questions can be open at once (the close question on the main
  // thread, one of the road's on its worker): the older one gets the line.
  m_cv.wait(lock, [this, nTurn] {
    return m_bEnded || (m_bEndOfInput && m_lines.empty()) || (m_askers.front() == nTurn && !m_lines.empty());
  });
  std::optional<std::wstring> answer;
  if (!m_bEnded && !m_lines.empty()) {
    answer = std::move(m_lines.front());
    m_lines.pop_front();
  }
  m_askers.erase(std::find(m_askers.begin(), m_askers.end(), nTurn));
  m_cv.notify_all();
  return answer;
}

void CConsoleInput::StartRoad() {
  std::lock_guard<std::mutex> lock(m_cs);
  m_bRoadRuns = true;
  m_cv.notify_all();
}

std::optional<std::wstring> CConsoleInput::TakeCommand() {
  Start();
  std::unique_lock<std::mutex> lock(m_cs);
  m_mainLoopThread = std::this_thread::get_id();
  for (;;) {
    if (m_bEnded) return std::nullopt;
    // A line goes to an open question first. Once the road runs, a line that
    // is not the close button waits for the road's next question, even while
    // none is open: the road asks its questions one after the other.
    if (m_askers.empty()) {
      if (!m_lines.empty() && (!m_bRoadRuns || m_lines.front() == kCloseLine)) {
        std::wstring strLine = std::move(m_lines.front());
        m_lines.pop_front();
        return strLine;
      }
      // End of input: the user is gone, as if the window were destroyed.
      // Not while typed answers are left or once the road has asked: the
      // road then ends the run itself, its later questions getting their
      // defaults at once, and the answers keep their effect.
      if (m_bEndOfInput && m_lines.empty() && !m_bRoadAsked) return std::nullopt;
    }
    m_cv.wait(lock);
  }
}

std::size_t CConsoleInput::WaitingQuestions() {
  std::lock_guard<std::mutex> lock(m_cs);
  return m_askers.size();
}

void CConsoleInput::End(int nExitCode) {
  std::lock_guard<std::mutex> lock(m_cs);
  if (m_bEnded) return;
  m_bEnded = true;
  m_nExitCode = nExitCode;
  m_cv.notify_all();
}

bool CConsoleInput::HasEnded() {
  std::lock_guard<std::mutex> lock(m_cs);
  return m_bEnded;
}

int CConsoleInput::ExitCode() {
  std::lock_guard<std::mutex> lock(m_cs);
  return m_nExitCode;
}

int CConsoleInput::WaitForEnd() {
  std::unique_lock<std::mutex> lock(m_cs);
  m_cv.wait(lock, [this] { return m_bEnded; });
  return m_nExitCode;
}
