// The end of the run: one state, set once by whatever ends the run first (the
// close question, the contact dialog, the road's own end, the end of input, a
// refusal). The road's steps look at it before anything they cannot take back,
// and its waits wake when it comes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class CRunEnd {
public:
  // Marks the end; true for the first caller only. Waits for an action that
  // RunUnlessEnded is carrying out.
  bool End();
  bool HasEnded() const { return m_bEnded.load(); }
  // Sleeps up to the duration, waking at the end; true when the run has ended.
  bool WaitFor(std::chrono::milliseconds duration) const;
  // Carries out the action unless the run has ended, holding the end off
  // until it returns, so that nothing starts after the end; false when the
  // run had ended. The action must be short and must not end the run itself.
  bool RunUnlessEnded(const std::function<void()>& fnAction);

private:
  mutable std::mutex m_cs;
  mutable std::condition_variable m_cv;
  std::atomic<bool> m_bEnded{false};
};
