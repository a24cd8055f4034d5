// The system's file download: a URL straight to a path (urlmon's
// URLDownloadToFileW on Windows, libcurl on Linux). Results are urlmon-style
// status values (see UrlCache.h); an HTTP error answer is a failure, never a
// saved error page.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ProgressSink.h"
#include "platform/UrlCache.h"

namespace platform {

std::int32_t DownloadUrlToFile(const std::wstring& strUrl, const std::wstring& strPath, IProgressSink* pSink,
                               const TransferLimits& limits);

}  // namespace platform
