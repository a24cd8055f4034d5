// How the sender delivers one statistics request: the URL cache, then once
// more the own HTTP client into the scratch file; both together bounded.
#pragma once

#include <chrono>
#include <string>

// Both transfers of one request together take at most this long.
inline constexpr std::chrono::milliseconds kStatsRequestBudget{2000};
// The URL cache's share of the budget, in fifths: the rest stays for the own
// client, so that a URL cache that stalls still leaves the fallback its time
// (1.2 s and 0.8 s of the full budget).
inline constexpr int kStatsCacheFifths = 3;

// The answer is never read. `budget` may be less than kStatsRequestBudget
// when the run is ending.
void SendStatisticsRequest(const std::wstring& strUrl, std::chrono::milliseconds budget = kStatsRequestBudget);

// ".\cb.log" in the current folder: the own client's target, never read.
std::wstring StatisticsScratchFile();
