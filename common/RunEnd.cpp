#include "common/RunEnd.h"

bool CRunEnd::End() {
  std::lock_guard<std::mutex> lock(m_cs);
  if (m_bEnded.exchange(true)) return false;
  m_cv.notify_all();
  return true;
}

bool CRunEnd::WaitFor(std::chrono::milliseconds duration) const {
  std::unique_lock<std::mutex> lock(m_cs);
  return m_cv.wait_for(lock, duration, [this] { return m_bEnded.load(); });
}

bool CRunEnd::RunUnlessEnded(const std::function<void()>& fnAction) {
  std::lock_guard<std::mutex> lock(m_cs);
  if (m_bEnded.load()) return false;
  fnAction();
  return true;
}
