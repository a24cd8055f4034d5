#include "log/StatisticsRequest.h"

#include <algorithm>
#include <cstdint>

#include "download/SocketDownload.h"
#include "platform/FileSystem.h"
#include "platform/UrlCache.h"

std::wstring StatisticsScratchFile() { return std::wstring(L".") + platform::kPathSeparator + L"cb.log"; }

void SendStatisticsRequest(const std::wstring& strUrl, std::chrono::milliseconds budget) {
  if (budget <= std::chrono::milliseconds(0)) return;
  const auto start = std::chrono::steady_clock::now();
  std::wstring strCachedFile;
  // Zero would mean no limit at all.
  const auto cacheLimit = std::max(std::chrono::milliseconds(1), budget * kStatsCacheFifths / 5);
  const platform::TransferLimits limits{cacheLimit, cacheLimit, cacheLimit};
  if (platform::FetchUrlToCache(strUrl, strCachedFile, nullptr, limits) == 0) {
    // Every request URL is unique (it carries its time): keep the cache clean.
    platform::PurgeUrlCacheEntry(strUrl);
    return;
  }
  // Once more by the own client, within what is left of the budget. The
  // request only has to reach the server: "src file too small!" is its usual end.
  const auto left = budget - std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  if (left <= std::chrono::milliseconds(0)) return;
  SocketDownloadLimits socketLimits;
  socketLimits.connect = socketLimits.send = socketLimits.receive = socketLimits.total = left;
  std::int64_t nOffset = 0;
  DownloadFileBySocket(strUrl, StatisticsScratchFile(), &nOffset, nullptr, socketLimits);
}
