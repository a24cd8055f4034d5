#include "platform/UrlDownload.h"

#include <cstdio>

#include "platform/CodePage.h"
#include "platform/posix/CurlTransfer.h"

namespace platform {

std::int32_t DownloadUrlToFile(const std::wstring& strUrl, const std::wstring& strPath, IProgressSink* pSink,
                               const TransferLimits& limits) {
  const std::string strNarrowPath = WideToNarrow(strPath);
  CurlAnswer answer;
  std::int32_t nStatus = CurlGetToFile(WideToNarrow(strUrl), strNarrowPath, pSink, limits, {}, answer);
  if (nStatus == 0 && answer.nHttpStatus == 304) nStatus = kInetDownloadFailure;  // nothing was asked conditionally
  if (nStatus != 0) std::remove(strNarrowPath.c_str());  // no half file or error page is left as the download
  return nStatus;
}

}  // namespace platform
