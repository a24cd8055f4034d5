#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/RunEnd.h"

namespace {

using namespace std::chrono_literals;

TEST(RunEnd, OnlyTheFirstEndCountsAndAWaitWakesAtIt) {
  CRunEnd runEnd;
  EXPECT_FALSE(runEnd.HasEnded());
  EXPECT_FALSE(runEnd.WaitFor(10ms));
  std::thread ender([&runEnd] {
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(runEnd.End());
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(runEnd.WaitFor(30s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  ender.join();
  EXPECT_FALSE(runEnd.End());
  EXPECT_TRUE(runEnd.HasEnded());
  EXPECT_TRUE(runEnd.WaitFor(30s));
}

// A start in progress finishes before the end is marked; after the end no
// start begins.
TEST(RunEnd, AnActionHoldsTheEndOffAndNoneRunsAfterIt) {
  CRunEnd runEnd;
  std::atomic<bool> bActionDone{false};
  std::atomic<bool> bEndedDuringAction{false};
  std::thread ender;
  EXPECT_TRUE(runEnd.RunUnlessEnded([&] {
    ender = std::thread([&] { runEnd.End(); });
    std::this_thread::sleep_for(200ms);
    bEndedDuringAction = runEnd.HasEnded();
    bActionDone = true;
  }));
  ender.join();
  EXPECT_TRUE(bActionDone);
  EXPECT_FALSE(bEndedDuringAction);
  EXPECT_TRUE(runEnd.HasEnded());

  bool bRan = false;
  EXPECT_FALSE(runEnd.RunUnlessEnded([&bRan] { bRan = true; }));
  EXPECT_FALSE(bRan);
}

}  // namespace
