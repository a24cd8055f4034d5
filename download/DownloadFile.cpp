#include "download/DownloadFile.h"

#include <thread>

#include "platform/FileSystem.h"
#include "platform/UrlDownload.h"

std::int32_t DownloadFile(std::wstring& strOutputPath, std::wstring& strLog, std::wstring strUrl,
                          std::wstring strDestPath, platform::IProgressSink* pSink, const DownloadPacing& pacing) {
  // A method has worked only when it says so and the file is really there.
  for (int i = 0; i < pacing.nCacheAttempts; ++i) {
    std::wstring strCached;
    const std::int32_t nStatus = platform::FetchUrlToCache(strUrl, strCached, pSink, pacing.systemLimits);
    strOutputPath = strCached;
    if (nStatus == 0 && platform::PathExists(strOutputPath)) return 0;
    std::this_thread::sleep_for(pacing.cacheRetryPause);
    // Every second failure drops the cached copy, so a bad one is not reused.
    if (i % 2 == 1) platform::PurgeUrlCacheEntry(strUrl);
  }

  strOutputPath = strDestPath;
  strLog += L"URLDownloadToCacheFile failed.";
  const std::int32_t nFileStatus = platform::DownloadUrlToFile(strUrl, strOutputPath, pSink, pacing.systemLimits);
  if (nFileStatus == 0 && platform::PathExists(strOutputPath)) {
    strLog += L"used URLDownloadToFile() downloaded.";
    return 0;
  }
  strLog += L"URLDownloadToFile failed.";

  std::int64_t nOffset = 0;  // carried from attempt to attempt: each one resumes
  std::wstring strError;
  for (int i = 0; i < pacing.nSocketAttempts; ++i) {
    strError = DownloadFileBySocket(strUrl, strOutputPath, &nOffset, pSink, pacing.socketLimits);
    if (strError.empty() && platform::PathExists(strOutputPath)) {
      strLog += L"used DownloadFileBySocket() downloaded.";
      return 0;
    }
    std::this_thread::sleep_for(pacing.socketRetryPause);
  }
  strLog += L"DownloadFileBySocket failed:" + strError;
  // The caller reads the file download's status; when that one claimed
  // success without a file, a failure must still come back as one.
  return nFileStatus != 0 ? nFileStatus : platform::kInetDownloadFailure;
}
