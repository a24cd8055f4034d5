// Where a transfer reports its progress: the arguments and status codes of
// the URL-moniker binding callback (BINDSTATUS values), on both systems. The
// same receiver also tells a transfer in progress to give up.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace platform {

enum BindStatus : unsigned long {
  kBindStatusFindingResource = 1,
  kBindStatusConnecting = 2,
  kBindStatusRedirecting = 3,
  kBindStatusBeginDownloadData = 4,
  kBindStatusDownloadingData = 5,
  kBindStatusEndDownloadData = 6,
  kBindStatusSendingRequest = 11,
  kBindStatusMimeTypeAvailable = 13,
  kBindStatusCacheFileNameAvailable = 14,
  kBindStatusProxyDetecting = 32,
};

// How often a waiting transfer asks whether to give up: every wait of a
// transfer runs in slices no longer than this, so a stop is noticed within it.
inline constexpr std::chrono::milliseconds kStopPollInterval{50};

class IProgressSink {
public:
  virtual ~IProgressSink() = default;
  virtual void OnProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode) = 0;
  // Whether the receiver wants the transfer given up (the run has ended).
  virtual bool IsStopRequested() { return false; }
};

// Asked between the slices of a wait: true gives the wait up. An empty one is
// never asked, and the wait runs in one piece.
using StopCheck = std::function<bool()>;

// The sink takes 32-bit counts: a transfer over 4 GiB is reported in units
// large enough that both counts fit, so the share of the total held stays
// right. A total of 0 means unknown.
inline void ReportBytes(IProgressSink* pSink, std::uint64_t nDone, std::uint64_t nTotal) {
  if (pSink == nullptr) return;
  while (nDone > 0xFFFFFFFFu || nTotal > 0xFFFFFFFFu) {
    nDone >>= 1;
    nTotal >>= 1;
  }
  pSink->OnProgress(static_cast<unsigned long>(nDone), static_cast<unsigned long>(nTotal), kBindStatusDownloadingData);
}

inline bool StopRequested(IProgressSink* pSink) { return pSink != nullptr && pSink->IsStopRequested(); }

// The sink's stop question for the waits below it; empty without a sink.
inline StopCheck StopCheckOf(IProgressSink* pSink) {
  if (pSink == nullptr) return StopCheck();
  return [pSink] { return pSink->IsStopRequested(); };
}

}  // namespace platform
