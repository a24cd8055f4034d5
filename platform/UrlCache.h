// The system's URL cache: fetch a URL into it and get the cached file's path,
// or purge the URL's entry. Results are urlmon-style status values (0 = done).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

// Status values shared by both systems (the urlmon HRESULTs).
constexpr std::int32_t kInetResourceNotFound = static_cast<std::int32_t>(0x800C0005);  // name or connection failed
constexpr std::int32_t kInetObjectNotFound = static_cast<std::int32_t>(0x800C0006);    // HTTP 404
constexpr std::int32_t kInetDownloadFailure = static_cast<std::int32_t>(0x800C0008);   // any other failure
constexpr std::int32_t kInetTimeout = static_cast<std::int32_t>(0x800C000B);         // the time limit ran out

// Fetches the URL into the cache within the time limit; the whole transfer,
// connect included, is bounded by it.
std::int32_t FetchUrlToCache(const std::wstring& strUrl, std::wstring& strCachedFile,
                             std::chrono::milliseconds timeout);
void PurgeUrlCacheEntry(const std::wstring& strUrl);

}  // namespace platform
