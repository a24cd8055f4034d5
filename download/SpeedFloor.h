// CSpeedFloor: the lowest average speed a body must keep. Every span of the
// window's length, from the body's start on, must bring at least the floor's
// share of bytes; a peer that trickles below it (a byte now and then, each
// just within the receive limit) cannot hold a transfer for longer than that.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

class CSpeedFloor {
public:
  using Clock = std::chrono::steady_clock;

  // nBytesPerSecond or a window of zero turns the floor off.
  CSpeedFloor(std::int64_t nBytesPerSecond, std::chrono::milliseconds window, Clock::time_point start);

  // nBytes more have arrived at now.
  void Add(std::int64_t nBytes, Clock::time_point now);
  // When the last window will hold too few bytes if none come before:
  // Clock::time_point::max() with the floor off. The transfer is below the
  // floor once this has passed.
  Clock::time_point Deadline() const;

private:
  struct Sample {
    Clock::time_point time;
    std::int64_t nBytes;  // counted from the start up to time
  };

  std::int64_t m_nFloorBytes;  // what one window must bring
  std::chrono::milliseconds m_window;
  std::int64_t m_nBytes = 0;
  // The counts at moments bytes arrived, one per step at most, oldest first;
  // the oldest lies at or before the last window's start.
  std::deque<Sample> m_samples;
};
