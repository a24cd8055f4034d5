#include "platform/UrlDownload.h"

#include <windows.h>
#include <urlmon.h>

#include "platform/win32/BindStatusAdapter.h"

namespace platform {

std::int32_t DownloadUrlToFile(const std::wstring& strUrl, const std::wstring& strPath, IProgressSink* pSink,
                               const TransferLimits& limits) {
  DWORD nHttpStatus = 0;
  const HRESULT hResult = RunBoundedBinding(
      [strUrl, strPath](IBindStatusCallback* pCallback) {
        return URLDownloadToFileW(nullptr, strUrl.c_str(), strPath.c_str(), 0, pCallback);
      },
      pSink, limits, nHttpStatus);
  if (hResult != S_OK) return static_cast<std::int32_t>(hResult);

  if (const std::int32_t nHttpResult = HttpStatusResult(nHttpStatus); nHttpResult != 0) {
    // urlmon saved the server's error page as the file; nobody may take it
    // for the download. A page that cannot be deleted changes nothing here:
    // the result already says failure.
    DeleteFileW(strPath.c_str());
    return nHttpResult;
  }
  return 0;
}

}  // namespace platform
