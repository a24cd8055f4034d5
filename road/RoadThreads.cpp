#include "road/RoadThreads.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct RoadThreadCount {
  std::mutex cs;
  std::condition_variable cv;
  int nRunning = 0;
};

// Never destroyed: a worker may still leave after the main thread stopped
// waiting for it.
RoadThreadCount& Count() {
  static RoadThreadCount* s_pCount = new RoadThreadCount;
  return *s_pCount;
}

}  // namespace

bool StartRoadThread(std::function<void()> fnWork) {
  RoadThreadCount& count = Count();
  {
    std::lock_guard<std::mutex> lock(count.cs);
    ++count.nRunning;
  }
  try {
    std::thread([fnWork = std::move(fnWork), &count] {
      fnWork();
      std::lock_guard<std::mutex> lock(count.cs);
      --count.nRunning;
      count.cv.notify_all();
    }).detach();
    return true;
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(count.cs);
    --count.nRunning;
    return false;
  }
}

bool WaitForRoadThreads(std::chrono::milliseconds bound) {
  RoadThreadCount& count = Count();
  std::unique_lock<std::mutex> lock(count.cs);
  return count.cv.wait_for(lock, bound, [&count] { return count.nRunning == 0; });
}
