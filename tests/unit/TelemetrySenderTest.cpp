#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "log/TelemetrySender.h"

namespace {

using namespace std::chrono_literals;
using Clock = CWorkLane::Clock;

// A channel whose every transfer meets a service that never answers: it
// takes its whole limit, cut short only by the deadline.
struct CSilentChannel {
  std::chrono::milliseconds limit;
  std::atomic<int> nInFlight{0}, nSent{0};

  void Send(CTelemetrySender::Deadline deadline) {
    ++nInFlight;
    const auto wait = TimeLeftWithin(limit, deadline);
    if (wait > 0ms) std::this_thread::sleep_for(wait);
    ++nSent;
    --nInFlight;
  }
};

TEST(TelemetrySender, FinishingEndsBothLanesTransfersByTheDeadline) {
  CSilentChannel stats{400ms}, bi{700ms};
  CTelemetrySender sender([&](const std::wstring&, CTelemetrySender::Deadline d) { stats.Send(d); },
                          [&](const TelemetryReport&, CTelemetrySender::Deadline d) { bi.Send(d); });
  ASSERT_TRUE(sender.Start());
  for (int i = 0; i < 10; ++i) sender.Queue(TelemetryReport{});

  const auto start = Clock::now();
  const auto dropped = sender.FinishBy(start + 1000ms);
  EXPECT_LE(Clock::now() - start, 1050ms);
  // Nothing is left running: whatever the process tears down next is safe.
  EXPECT_EQ(stats.nInFlight, 0);
  EXPECT_EQ(bi.nInFlight, 0);
  // Each lane used the time on its own: neither waited for the other.
  EXPECT_GE(stats.nSent, 2);
  EXPECT_GE(bi.nSent, 2);
  EXPECT_EQ(dropped.nStatsRequests, 10u - static_cast<std::size_t>(stats.nSent));
  EXPECT_EQ(dropped.nBiEvents, 10u - static_cast<std::size_t>(bi.nSent));
}

}  // namespace
