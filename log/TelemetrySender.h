// CTelemetrySender: the background sender of both report channels. A report
// is queued on the statistics lane and on the BI lane in one step, so each
// channel sends the reports in the order they were made, and a slow or silent
// service holds only its own lane, never the reporting thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "common/WorkLane.h"

// Everything one report sends, made on the reporting thread.
struct TelemetryReport {
  std::wstring strStatsUrl;  // the signed statistics request
  int nDataType = 0;
  std::wstring strText;
  std::int64_t nClientTime = 0;  // milliseconds since 1970, when it was reported
  std::wstring strDeviceId;
  std::int64_t tInstallTime = 0;
};

class CTelemetrySender {
public:
  using Deadline = CWorkLane::Clock::time_point;
  // Each channel keeps its transfers within the deadline it is given.
  using StatsChannel = std::function<void(const std::wstring& strUrl, Deadline deadline)>;
  using BiChannel = std::function<void(const TelemetryReport& report, Deadline deadline)>;

  struct Dropped {
    std::size_t nStatsRequests = 0;
    std::size_t nBiEvents = 0;
    std::size_t Total() const { return nStatsRequests + nBiEvents; }
  };

  CTelemetrySender(StatsChannel fnStats, BiChannel fnBi);

  // false when a lane's thread could not be started: its reports stay queued
  // and are dropped at the end.
  bool Start();

  void Queue(TelemetryReport report);

  // Sends what is queued until the deadline at the latest; drops the rest.
  Dropped FinishBy(Deadline deadline);
  // Sends nothing more; waits for the transfers in hand.
  Dropped Stop();

  std::size_t UnsentStatsRequests() { return m_statsLane.Unfinished(); }
  std::size_t Unfinished() { return m_statsLane.Unfinished() + m_biLane.Unfinished(); }

private:
  StatsChannel m_fnStats;
  BiChannel m_fnBi;
  std::mutex m_csQueue;  // one report enters both lanes before the next
  CWorkLane m_statsLane;
  CWorkLane m_biLane;
};
