#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "common/WorkLane.h"

namespace {

using namespace std::chrono_literals;
using Clock = CWorkLane::Clock;

TEST(WorkLane, RunsJobsPostedBeforeAndAfterItsStartInOrder) {
  CWorkLane lane;
  std::mutex cs;
  std::vector<int> order;
  auto job = [&](int n) {
    return [&, n](Clock::time_point) {
      std::lock_guard<std::mutex> lock(cs);
      order.push_back(n);
    };
  };
  lane.Post(job(1));
  ASSERT_TRUE(lane.Start());
  for (int n = 2; n <= 5; ++n) lane.Post(job(n));
  EXPECT_EQ(lane.FinishBy(Clock::now() + 5s), 0u);
  EXPECT_EQ(lane.Unfinished(), 0u);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(WorkLane, FinishingStopsAtTheDeadlineAndDropsWhatHadNotStarted) {
  // Each job is a transfer that never ends by itself: it keeps to its deadline.
  CWorkLane lane;
  std::atomic<int> nRan{0};
  std::atomic<bool> bLate{false};
  const auto start = Clock::now();
  const auto deadline = start + 600ms + CWorkLane::kJobMargin;
  for (int i = 0; i < 4; ++i) {
    lane.Post([&](Clock::time_point jobDeadline) {
      ++nRan;
      std::this_thread::sleep_for(TimeLeftWithin(300ms, jobDeadline));
      if (Clock::now() > deadline) bLate = true;
    });
  }
  ASSERT_TRUE(lane.Start());
  const std::size_t nDropped = lane.FinishBy(deadline);
  const auto waited = Clock::now() - start;
  // Two jobs filled the 600 ms the jobs were given; the other two never
  // started, and the lane said so as soon as none could start any more.
  EXPECT_EQ(nRan, 2);
  EXPECT_EQ(nDropped, 2u);
  EXPECT_FALSE(bLate);
  EXPECT_GE(waited, 590ms);
  EXPECT_LT(waited, 600ms + CWorkLane::kJobMargin);
  // A job posted after the deadline waits for a new one.
  lane.Post([&](Clock::time_point) { ++nRan; });
  EXPECT_EQ(lane.FinishBy(Clock::now() + 2s), 0u);
  EXPECT_EQ(nRan, 3);
}

TEST(WorkLane, StopWaitsForTheJobInHandOnlyAndANeverStartedLaneDropsAll) {
  CWorkLane lane;
  std::atomic<bool> bStarted{false}, bFinished{false};
  std::atomic<int> nRan{0};
  lane.Post([&](Clock::time_point) {
    ++nRan;
    bStarted = true;
    std::this_thread::sleep_for(200ms);
    bFinished = true;
  });
  lane.Post([&](Clock::time_point) { ++nRan; });
  ASSERT_TRUE(lane.Start());
  while (!bStarted) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(lane.Stop(), 1u);
  EXPECT_TRUE(bFinished);
  EXPECT_EQ(nRan, 1);

  CWorkLane idle;
  idle.Post([&](Clock::time_point) { ++nRan; });
  const auto start = Clock::now();
  EXPECT_EQ(idle.FinishBy(start + 5s), 1u);
  EXPECT_LT(Clock::now() - start, 1s);
}

TEST(WorkLane, TimeLeftIsTheLimitUntilTheDeadlineComesCloser) {
  EXPECT_EQ(TimeLeftWithin(1000ms, Clock::time_point::max()), 1000ms);
  EXPECT_EQ(TimeLeftWithin(1000ms, Clock::now() + 1h), 1000ms);
  const auto deadline = Clock::now() + 300ms;
  const auto left = TimeLeftWithin(1000ms, deadline);
  EXPECT_GT(left, 200ms);
  EXPECT_GE(Clock::now() + left, deadline);  // waiting all of it never ends early
  EXPECT_LE(TimeLeftWithin(1000ms, Clock::now() - 1s), 0ms);
}

}  // namespace
