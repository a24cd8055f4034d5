// The body's speed floor on a made-up clock: when a body that keeps coming
// too slowly is given up, and that one fast enough never is.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

#include "download/SpeedFloor.h"

namespace {

using namespace std::chrono_literals;
using Clock = CSpeedFloor::Clock;

// A stretch of the body: bytes at this rate, in a piece every tick.
struct Stretch {
  std::chrono::milliseconds length;
  std::int64_t nBytesPerSecond;
};

constexpr std::chrono::milliseconds kTick = 100ms;

// Runs the stretches through a floor of 100 bytes a second over 10 s, asking
// before every tick whether the floor is broken, as the transfer does; the
// moment it first is, counted from the body's start.
std::optional<std::chrono::milliseconds> BrokenAt(const std::vector<Stretch>& stretches) {
  const Clock::time_point start{};
  CSpeedFloor floor(100, 10s, start);
  std::chrono::milliseconds elapsed{0};
  for (const Stretch& stretch : stretches) {
    for (std::chrono::milliseconds t{0}; t < stretch.length; t += kTick) {
      if (start + elapsed >= floor.Deadline()) return elapsed;
      elapsed += kTick;
      floor.Add(stretch.nBytesPerSecond * kTick.count() / 1000, start + elapsed);
    }
  }
  if (start + elapsed >= floor.Deadline()) return elapsed;
  return std::nullopt;
}

TEST(SpeedFloor, GivesUpABodyBelowItsFloorWithinAWindowsStep) {
  const struct {
    const char* szName;
    std::vector<Stretch> stretches;
    std::optional<std::chrono::milliseconds> brokenAt;  // none: never
  } cases[] = {
      {"steady above the floor", {{60s, 150}}, std::nullopt},
      {"a trickle from the start: the first window decides", {{60s, 50}}, 10s},
      {"nothing at all", {{60s, 0}}, 10s},
      // 200 B/s, then 50 B/s from 20 s: the last 10 s hold 1000 bytes at
      // 26.7 s.
      {"fast, then too slow", {{20s, 200}, {40s, 50}}, 26700ms},
      // A megabyte at once buys one window, not more.
      {"a burst, then silence", {{1s, 1000000}, {60s, 0}}, 11s},
      {"a pause shorter than the headroom", {{20s, 400}, {5s, 0}, {35s, 400}}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    const auto brokenAt = BrokenAt(c.stretches);
    ASSERT_EQ(brokenAt.has_value(), c.brokenAt.has_value());
    if (!brokenAt) continue;
    // Judged late by a step of the window at most (10 s / 32), never early.
    EXPECT_GE(*brokenAt, *c.brokenAt);
    EXPECT_LE(*brokenAt, *c.brokenAt + 10s / 32 + kTick);
  }
}

TEST(SpeedFloor, NoFloorWithoutARateOrAWindow) {
  const Clock::time_point start{};
  for (const CSpeedFloor& floor : {CSpeedFloor(0, 30s, start), CSpeedFloor(1024, 0s, start)}) {
    EXPECT_EQ(floor.Deadline(), Clock::time_point::max());
  }
}

TEST(SpeedFloor, AHugeRateDoesNotOverflow) {
  const Clock::time_point start{};
  CSpeedFloor floor(INT64_MAX, 24h, start);
  floor.Add(INT64_MAX / 2, start + 1s);
  EXPECT_EQ(floor.Deadline(), start + 24h);
}

}  // namespace
