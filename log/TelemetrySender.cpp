#include "log/TelemetrySender.h"

#include <memory>

CTelemetrySender::CTelemetrySender(StatsChannel fnStats, BiChannel fnBi)
    : m_fnStats(std::move(fnStats)), m_fnBi(std::move(fnBi)) {}

bool CTelemetrySender::Start() {
  const bool bStats = m_statsLane.Start();
  const bool bBi = m_biLane.Start();
  return bStats && bBi;
}

void CTelemetrySender::Queue(TelemetryReport report) {
  auto pReport = std::make_shared<const TelemetryReport>(std::move(report));
  std::lock_guard<std::mutex> lock(m_csQueue);
  m_statsLane.Post([this, pReport](Deadline deadline) { m_fnStats(pReport->strStatsUrl, deadline); });
  m_biLane.Post([this, pReport](Deadline deadline) { m_fnBi(*pReport, deadline); });
}

CTelemetrySender::Dropped CTelemetrySender::FinishBy(Deadline deadline) {
  // Both lanes learn the deadline before either is waited for.
  m_statsLane.BeginFinish(deadline);
  m_biLane.BeginFinish(deadline);
  Dropped dropped;
  dropped.nStatsRequests = m_statsLane.FinishBy(deadline);
  dropped.nBiEvents = m_biLane.FinishBy(deadline);
  return dropped;
}

CTelemetrySender::Dropped CTelemetrySender::Stop() {
  // A deadline that has passed stops both lanes taking jobs before either
  // is joined.
  Dropped dropped = FinishBy(CWorkLane::Clock::now());
  dropped.nStatsRequests += m_statsLane.Stop();
  dropped.nBiEvents += m_biLane.Stop();
  return dropped;
}
