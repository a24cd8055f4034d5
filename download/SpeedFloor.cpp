#include "download/SpeedFloor.h"

#include <algorithm>
#include <limits>

#include "platform/SlicedWait.h"

namespace {

// Counts closer together than a window's share of this are kept as one: the
// floor is then judged up to one such step late, never early, and a window
// holds a few dozen counts however fast the bytes come.
constexpr int kStepsPerWindow = 32;

}  // namespace

CSpeedFloor::CSpeedFloor(std::int64_t nBytesPerSecond, std::chrono::milliseconds window, Clock::time_point start)
    : m_nFloorBytes(0), m_window(std::clamp(window, std::chrono::milliseconds::zero(), platform::kLongestWait)) {
  if (nBytesPerSecond <= 0 || m_window.count() == 0) return;
  const std::int64_t nMs = m_window.count();
  m_nFloorBytes = nBytesPerSecond > std::numeric_limits<std::int64_t>::max() / nMs
                      ? std::numeric_limits<std::int64_t>::max()
                      : std::max<std::int64_t>(1, nBytesPerSecond * nMs / 1000);
  m_samples.push_back({start, 0});
}

void CSpeedFloor::Add(std::int64_t nBytes, Clock::time_point now) {
  if (m_nFloorBytes == 0 || nBytes <= 0) return;
  m_nBytes += nBytes;
  const auto step = std::max<Clock::duration>(m_window / kStepsPerWindow, std::chrono::milliseconds(1));
  // The newest count moves on until it is a step past the one before it.
  if (m_samples.size() >= 2 && now - m_samples[m_samples.size() - 2].time < step) {
    m_samples.back() = {now, m_nBytes};
  } else {
    m_samples.push_back({now, m_nBytes});
  }
  // Only the last count at or before the window's start still matters.
  while (m_samples.size() >= 2 && m_samples[1].time <= now - m_window) m_samples.pop_front();
}

CSpeedFloor::Clock::time_point CSpeedFloor::Deadline() const {
  if (m_nFloorBytes == 0) return Clock::time_point::max();
  // The window that ends a window's length after a count holds the bytes
  // since that count: too few once that count is past what is held minus
  // the floor. The newest count always is (it holds everything).
  for (const Sample& sample : m_samples) {
    if (sample.nBytes > m_nBytes - m_nFloorBytes) return sample.time + m_window;
  }
  return m_samples.back().time + m_window;
}
