// DownloadFile told to stop: no attempt once the sink has asked, and a retry
// pause cut short, whichever method it follows; the stop's status and log
// text come back. Every transfer fails at once here (nobody listens on port
// 1), so the only waits are the pauses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "download/DownloadFile.h"
#include "tests/unit/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const wchar_t* kRefusedUrl = L"http://127.0.0.1:1/TarnBattleClient.exe";

// Asks to stop from a set time after it is made; counts the progress reports,
// which come from whatever thread a method runs its transfer on.
class CStopAfterSink : public platform::IProgressSink {
public:
  explicit CStopAfterSink(std::chrono::milliseconds after) : m_tStop(Clock::now() + after) {}
  void OnProgress(unsigned long, unsigned long, unsigned long) override { ++m_nReports; }
  bool IsStopRequested() override { return Clock::now() >= m_tStop; }
  Clock::time_point StopTime() const { return m_tStop; }
  int Reports() const { return m_nReports; }

private:
  const Clock::time_point m_tStop;
  std::atomic<int> m_nReports{0};
};

TEST(DownloadFile, StopEndsTheDownloadWithoutAnotherAttempt) {
  DownloadPacing cachePause;
  cachePause.cacheRetryPause = 60s;
  DownloadPacing socketPause;
  socketPause.nCacheAttempts = 0;
  socketPause.socketRetryPause = 60s;

  const struct {
    const char* szName;
    DownloadPacing pacing;
    std::chrono::milliseconds stopAfter;
    std::wstring strLog;
    bool bNoAttempt;  // not a single progress report
  } cases[] = {
      {"stopped before the first attempt", DownloadPacing(), 0ms, L"download stopped.", true},
      {"stopped in the URL cache's retry pause", cachePause, 500ms, L"download stopped.", false},
      // The file download and the own client's first attempt fail at once.
      {"stopped in the own client's retry pause", socketPause, 1500ms,
       L"URLDownloadToCacheFile failed.URLDownloadToFile failed.download stopped.", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    CTempFolder folder;
    CStopAfterSink sink(c.stopAfter);
    std::wstring strOutput;
    std::wstring strLog;
    const std::int32_t nResult =
        DownloadFile(strOutput, strLog, kRefusedUrl, folder.Child(L"TarnBattleClient.exe"), &sink, c.pacing);
    const Clock::time_point tReturned = Clock::now();

    EXPECT_EQ(nResult, platform::kTransferAborted);
    EXPECT_EQ(strLog, c.strLog);
    if (c.bNoAttempt) {
      EXPECT_EQ(sink.Reports(), 0);
    }
    // A pause runs a minute; the stop must end it within moments.
    EXPECT_GE(tReturned, sink.StopTime());
    EXPECT_LT(tReturned - sink.StopTime(), 2s);
  }
}

}  // namespace
