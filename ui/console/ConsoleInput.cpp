#include "ui/console/ConsoleInput.h"

#include <iostream>
#include <memory>
#include <system_error>
#include <thread>

#include "common/Common.h"

void CConsoleInput::Start() {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    if (m_bStarted) return;
    m_bStarted = true;
  }
  try {
    // Detached: a read blocked on a terminal cannot be called back; the
    // process exit takes it along.
    std::thread([pSelf = shared_from_this()] { pSelf->ReadLoop(); }).detach();
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(m_cs);
    m_bEndOfInput = true;  // nobody can type: every question is a No
  }
}

void CConsoleInput::ReadLoop() {
  std::string strLine;
  while (std::getline(std::cin, strLine)) {
    if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
    std::lock_guard<std::mutex> lock(m_cs);
    m_lines.push_back(AnsiToWide(strLine));
    m_cv.notify_all();
  }
  std::lock_guard<std::mutex> lock(m_cs);
  m_bEndOfInput = true;
  m_cv.notify_all();
}

std::optional<std::wstring> CConsoleInput::TakeAnswer() {
  Start();
  std::unique_lock<std::mutex> lock(m_cs);
  ++m_nQuestions;
  m_cv.wait(lock, [this] { return !m_lines.empty() || m_bEndOfInput; });
  --m_nQuestions;
  m_cv.notify_all();
  if (m_lines.empty()) return std::nullopt;
  std::wstring strLine = std::move(m_lines.front());
  m_lines.pop_front();
  return strLine;
}

std::optional<std::wstring> CConsoleInput::TakeCommand() {
  Start();
  std::unique_lock<std::mutex> lock(m_cs);
  m_cv.wait(lock, [this] { return m_bEnded || (m_nQuestions == 0 && (!m_lines.empty() || m_bEndOfInput)); });
  if (m_bEnded || m_lines.empty()) return std::nullopt;
  std::wstring strLine = std::move(m_lines.front());
  m_lines.pop_front();
  return strLine;
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
