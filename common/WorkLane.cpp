#include "common/WorkLane.h"

#include <system_error>

CWorkLane::~CWorkLane() { Stop(); }

bool CWorkLane::Start() {
  if (m_bStarted) return true;
  try {
    m_thread = std::thread(&CWorkLane::Run, this);
  } catch (const std::system_error&) {
    return false;
  }
  m_bStarted = true;
  return true;
}

void CWorkLane::Post(Job job) {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    m_jobs.push_back(std::move(job));
  }
  m_cvWork.notify_one();
}

std::size_t CWorkLane::FinishBy(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(m_cs);
  m_deadline = deadline;
  m_cvWork.notify_one();
  if (m_bStarted) m_cvIdle.wait_until(lock, deadline, [this] { return m_jobs.empty() && !m_bBusy; });
  // The thread starts no job at or after the deadline: what is left is dropped.
  const std::size_t nDropped = m_jobs.size();
  m_jobs.clear();
  return nDropped;
}

std::size_t CWorkLane::Stop() {
  std::size_t nDropped = 0;
  {
    std::lock_guard<std::mutex> lock(m_cs);
    m_bStop = true;
    nDropped = m_jobs.size();
    m_jobs.clear();
  }
  m_cvWork.notify_one();
  if (m_bStarted) {
    m_thread.join();
    m_bStarted = false;
  }
  return nDropped;
}

std::size_t CWorkLane::Unfinished() {
  std::lock_guard<std::mutex> lock(m_cs);
  return m_jobs.size() + (m_bBusy ? 1 : 0);
}

void CWorkLane::Run() {
  std::unique_lock<std::mutex> lock(m_cs);
  for (;;) {
    // A job is taken only before the deadline; one posted after it waits
    // for a later deadline or is dropped.
    m_cvWork.wait(lock, [this] { return m_bStop || (!m_jobs.empty() && Clock::now() < m_deadline); });
    if (m_bStop) return;
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    const Clock::time_point deadline = m_deadline;
    m_bBusy = true;
    lock.unlock();
    job(deadline);
    job = nullptr;  // whatever the job holds goes before the lane says it is idle
    lock.lock();
    m_bBusy = false;
    m_cvIdle.notify_all();
  }
}
