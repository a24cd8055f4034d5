// DownloadFile: one remote file onto the local disk by three methods in turn
// (the URL cache, the system's file download, the own HTTP client), each with
// its retry budget and pacing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "download/SocketDownload.h"
#include "platform/ProgressSink.h"
#include "platform/UrlCache.h"

struct DownloadPacing {
  int nCacheAttempts = 10;
  std::chrono::milliseconds cacheRetryPause{1000};
  int nSocketAttempts = 10;
  std::chrono::milliseconds socketRetryPause{500};
  // Limits of the system's own transfers: a stalled one fails its attempt.
  platform::TransferLimits systemLimits{std::chrono::seconds(15), std::chrono::seconds(30), {}};
  SocketDownloadLimits socketLimits;
};

// Returns 0 when the file is complete at strOutputPath (the cache file for the
// first method, strDestPath otherwise); appends what happened to strLog. When
// the sink asks to stop, before an attempt, during one or in a retry pause,
// it returns kTransferAborted within about kStopPollInterval, having added
// kDownloadStopped to strLog; strOutputPath is then of no use.
std::int32_t DownloadFile(std::wstring& strOutputPath, std::wstring& strLog, std::wstring strUrl,
                          std::wstring strDestPath, platform::IProgressSink* pSink,
                          const DownloadPacing& pacing = DownloadPacing());
