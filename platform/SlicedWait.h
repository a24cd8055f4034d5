// A bounded wait cut into slices no longer than kStopPollInterval, with the
// stop question asked before each slice: a transfer gives up within one
// slice of being told to, while its own time limit still counts across the
// slices (a slice running out is not the limit running out).
#pragma once

#include <algorithm>
#include <chrono>

#include "platform/ProgressSink.h"

namespace platform {

// A longer wait is taken as this long: it keeps the deadline's arithmetic far
// from overflow and still bounds the wait.
inline constexpr std::chrono::milliseconds kLongestWait = std::chrono::hours(24);

enum class WaitOutcome {
  kReady,     // what the wait was for came
  kTimedOut,  // the whole time went by without it
  kStopped,   // the stop question said yes
  kFailed,    // the slice's own wait failed
};

// fnSlice(slice) waits at most slice for the event: 1 when it came, 0 when
// the slice went by (or was interrupted), -1 on an error, which it leaves as
// the last error. Without a stop question the wait runs in one slice, and a
// zero timeout still looks once.
template <typename SliceWait>
WaitOutcome WaitInSlices(std::chrono::milliseconds timeout, const StopCheck& fnStop, SliceWait&& fnSlice) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::clamp(timeout, std::chrono::milliseconds::zero(), kLongestWait);
  for (;;) {
    if (fnStop && fnStop()) return WaitOutcome::kStopped;
    // Rounded up: a slice of zero before the deadline would only spin.
    std::chrono::milliseconds left =
        std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()), std::chrono::milliseconds::zero());
    if (fnStop) left = std::min(left, kStopPollInterval);
    const int nResult = fnSlice(left);
    if (nResult > 0) return WaitOutcome::kReady;
    if (nResult < 0) return WaitOutcome::kFailed;
    if (Clock::now() >= deadline) return WaitOutcome::kTimedOut;
  }
}

}  // namespace platform
