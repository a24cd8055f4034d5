// Where a transfer reports its progress: the arguments and status codes of
// the URL-moniker binding callback (BINDSTATUS values), on both systems.
#pragma once

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

class IProgressSink {
public:
  virtual ~IProgressSink() = default;
  virtual void OnProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode) = 0;
  // Whether the receiver wants the transfer given up (the run has ended).
  virtual bool IsStopRequested() { return false; }
};

}  // namespace platform
