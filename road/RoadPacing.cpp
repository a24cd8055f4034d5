#include "road/RoadPacing.h"

#include <cstdlib>
#include <string>

#include "TestSeams.h"

namespace {

#if FETCHLET_TEST_SEAMS
// A non-negative whole number of milliseconds from the environment.
void ReadMilliseconds(const char* pName, std::chrono::milliseconds& value) {
  const char* pText = std::getenv(pName);
  if (pText == nullptr || *pText == '\0') return;
  char* pEnd = nullptr;
  const long long nValue = std::strtoll(pText, &pEnd, 10);
  if (*pEnd == '\0' && nValue >= 0) value = std::chrono::milliseconds(nValue);
}
#endif

RoadPacing MakeRoadPacing() {
  RoadPacing pacing;
#if FETCHLET_TEST_SEAMS
  // Tests run every failure of the road; at the shipped pace a run whose
  // three sources all fail takes about a minute.
  ReadMilliseconds("FETCHLET_TEST_LAUNCH_TIMEOUT_MS", pacing.launchTimeout);
  ReadMilliseconds("FETCHLET_TEST_POLL_MS", pacing.launchPoll);
  ReadMilliseconds("FETCHLET_TEST_POLL_MS", pacing.installPoll);
  ReadMilliseconds("FETCHLET_TEST_RETRY_PAUSE_MS", pacing.download.cacheRetryPause);
  ReadMilliseconds("FETCHLET_TEST_RETRY_PAUSE_MS", pacing.download.socketRetryPause);
  // A poll of 0 would never let the time run out.
  constexpr std::chrono::milliseconds kShortestPoll{1};
  if (pacing.launchPoll < kShortestPoll) pacing.launchPoll = kShortestPoll;
  if (pacing.installPoll < kShortestPoll) pacing.installPoll = kShortestPoll;
#endif
  return pacing;
}

}  // namespace

const RoadPacing& GetRoadPacing() {
  static const RoadPacing s_pacing = MakeRoadPacing();
  return s_pacing;
}
