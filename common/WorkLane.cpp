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

void CWorkLane::BeginFinish(Clock::time_point deadline) {
  {
    std::lock_guard<std::mutex> lock(m_cs);
    m_jobDeadline = deadline - kJobMargin;
  }
  m_cvWork.notify_one();
}

std::size_t CWorkLane::FinishBy(Clock::time_point deadline) {
  BeginFinish(deadline);
  std::unique_lock<std::mutex> lock(m_cs);
  if (m_bStarted) {
    // Done when no job is in hand and none can start any more.
    m_cvIdle.wait_until(lock, deadline, [this] {
      return !m_bBusy && (m_jobs.empty() || Clock::now() >= m_jobDeadline);
    });
  }
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
    // A job is taken only before its deadline; one posted after it waits
    // for a later deadline or is dropped.
    m_cvWork.wait(lock, [this] { return m_bStop || (!m_jobs.empty() && Clock::now() < m_jobDeadline); });
    if (m_bStop) return;
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    const Clock::time_point deadline = m_jobDeadline;
    m_bBusy = true;
    lock.unlock();
    job(deadline);
    job = nullptr;  // whatever the job holds goes before the lane says it is idle
    lock.lock();
    m_bBusy = false;
    m_cvIdle.notify_all();
  }
}
