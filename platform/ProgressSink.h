// Where a transfer reports its progress: the arguments and status codes of
// the URL-moniker binding callback (BINDSTATUS values), on both systems. The
// same receiver also tells a transfer in progress to give up.
#pragma once

#include <chrono>
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

inline bool StopRequested(IProgressSink* pSink) { return pSink != nullptr && pSink->IsStopRequested(); }

// The sink's stop question for the waits below it; empty without a sink.
inline StopCheck StopCheckOf(IProgressSink* pSink) {
  if (pSink == nullptr) return StopCheck();
  return [pSink] { return pSink->IsStopRequested(); };
}

}  // namespace platform
