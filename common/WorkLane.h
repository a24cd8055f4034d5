// CWorkLane: one thread that runs jobs one after another, in the order they
// were posted, so that a caller never waits for a job's own waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CWorkLane {
public:
  using Clock = std::chrono::steady_clock;
  // A job is told the time by which it must be done: Clock::time_point::max()
  // until the lane is asked to finish, then that bound. A job keeps its own
  // waits within it.
  using Job = std::function<void(Clock::time_point deadline)>;

  CWorkLane() = default;
  ~CWorkLane();
  CWorkLane(const CWorkLane&) = delete;
  CWorkLane& operator=(const CWorkLane&) = delete;

  // Starts the thread; jobs posted before wait for it. false when the system
  // gave no thread: posted jobs then never run.
  bool Start();

  void Post(Job job);

  // Jobs are told to be done this much before a finishing deadline, so that
  // the one in hand has ended when FinishBy returns: nothing a job uses may
  // be gone by then (the process may be ending).
  static constexpr std::chrono::milliseconds kJobMargin{250};

  // Every job posted so far gets until `deadline` less kJobMargin. Returns
  // once they have all run, or at the latest at `deadline`: the jobs that had
  // not started by then are dropped, and their number is returned.
  std::size_t FinishBy(Clock::time_point deadline);
  // The first half of FinishBy: sets the deadline without waiting, so that
  // several lanes can finish side by side.
  void BeginFinish(Clock::time_point deadline);

  // No job starts any more; waits for the one in hand, whose waits are its
  // own. Returns the number of jobs dropped.
  std::size_t Stop();

  // Jobs posted and not yet finished, the one in hand included.
  std::size_t Unfinished();

private:
  void Run();

  std::mutex m_cs;
  std::condition_variable m_cvWork;  // a job, a new deadline or the stop
  std::condition_variable m_cvIdle;  // a job finished
  std::deque<Job> m_jobs;
  bool m_bBusy = false;
  bool m_bStop = false;
  Clock::time_point m_jobDeadline = Clock::time_point::max();
  std::thread m_thread;
  bool m_bStarted = false;
};

// What is left of a job's own limit within the lane's deadline; zero or less
// when the deadline has passed.
inline std::chrono::milliseconds TimeLeftWithin(std::chrono::milliseconds limit, CWorkLane::Clock::time_point deadline) {
  const auto now = CWorkLane::Clock::now();
  if (deadline - now >= limit) return limit;
  // Rounded up: a job that waits all of it ends at the deadline, not before.
  return std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
}
