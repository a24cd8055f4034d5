// The system's URL cache: fetch a URL into it and get the cached file's path,
// or purge the URL's entry. Results are urlmon-style status values (0 = done).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/ProgressSink.h"

namespace platform {

// Status values shared by both systems (the urlmon HRESULTs).
constexpr std::int32_t kInetResourceNotFound = static_cast<std::int32_t>(0x800C0005);  // name or connection failed
constexpr std::int32_t kInetObjectNotFound = static_cast<std::int32_t>(0x800C0006);    // HTTP 404
constexpr std::int32_t kInetDownloadFailure = static_cast<std::int32_t>(0x800C0008);   // any other failure
constexpr std::int32_t kInetTimeout = static_cast<std::int32_t>(0x800C000B);         // the time limit ran out
// E_ABORT: the transfer was given up because the sink asked it to stop.
constexpr std::int32_t kTransferAborted = static_cast<std::int32_t>(0x80004004);

// How long a transfer may wait. A zero duration means no limit of that kind.
struct TransferLimits {
  std::chrono::milliseconds connect{0};  // until the connection stands
  std::chrono::milliseconds stall{0};    // without a single byte received
  std::chrono::milliseconds total{0};    // for the whole transfer
};

// Fetches the URL into the cache and gives back the cached file's path. Like
// every transfer it gives up within about kStopPollInterval once the sink
// asks it to stop, with kTransferAborted.
std::int32_t FetchUrlToCache(const std::wstring& strUrl, std::wstring& strCachedFile, IProgressSink* pSink,
                             const TransferLimits& limits);
void PurgeUrlCacheEntry(const std::wstring& strUrl);

}  // namespace platform
