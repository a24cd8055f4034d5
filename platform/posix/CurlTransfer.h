// One HTTP GET into a file with libcurl: the Linux stand-in for the system's
// URL cache and file download. Results are urlmon-style status values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ProgressSink.h"
#include "platform/UrlCache.h"

namespace platform {

struct CurlAnswer {
  long nHttpStatus = 0;
  std::string strETag;
  std::string strLastModified;
};

// Writes the body into strPath (created or truncated). An HTTP error answer
// is a failure: 404 gives kInetObjectNotFound, other errors kInetDownloadFailure;
// a 304 to a conditional request is a success that leaves the file empty. A
// transfer the sink asks to stop ends within about kStopPollInterval with
// kTransferAborted.
std::int32_t CurlGetToFile(const std::string& strUrl, const std::string& strPath, IProgressSink* pSink,
                           const TransferLimits& limits, const std::vector<std::string>& requestHeaders,
                           CurlAnswer& answer);

}  // namespace platform
