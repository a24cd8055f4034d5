#include "download/DownloadFile.h"

#include <thread>

#include "platform/FileSystem.h"
#include "platform/SlicedWait.h"
#include "platform/UrlDownload.h"

namespace {

// Sleeps through a retry pause unless the sink asks to stop first; true when
// it did.
bool StoppedDuring(std::chrono::milliseconds pause, platform::IProgressSink* pSink) {
  const platform::WaitOutcome outcome =
      platform::WaitInSlices(pause, platform::StopCheckOf(pSink), [](std::chrono::milliseconds slice) {
        std::this_thread::sleep_for(slice);
        return 0;
      });
  return outcome == platform::WaitOutcome::kStopped;
}

}  // namespace

std::int32_t DownloadFile(std::wstring& strOutputPath, std::wstring& strLog, std::wstring strUrl,
                          std::wstring strDestPath, platform::IProgressSink* pSink, const DownloadPacing& pacing) {
  // Once the receiver has given up, no attempt and no pause is worth making.
  auto stopped = [&] {
    strLog += kDownloadStopped;
    return platform::kTransferAborted;
  };

  // A method has worked only when it says so and the file is really there.
  for (int i = 0; i < pacing.nCacheAttempts; ++i) {
    if (platform::StopRequested(pSink)) return stopped();
    std::wstring strCached;
    const std::int32_t nStatus = platform::FetchUrlToCache(strUrl, strCached, pSink, pacing.systemLimits);
    strOutputPath = strCached;
    if (nStatus == 0 && platform::PathExists(strOutputPath)) return 0;
    if (nStatus == platform::kTransferAborted || StoppedDuring(pacing.cacheRetryPause, pSink)) return stopped();
    // Every second failure drops the cached copy, so a bad one is not reused.
    if (i % 2 == 1) platform::PurgeUrlCacheEntry(strUrl);
  }

  if (platform::StopRequested(pSink)) return stopped();
  strOutputPath = strDestPath;
  strLog += L"URLDownloadToCacheFile failed.";
  const std::int32_t nFileStatus = platform::DownloadUrlToFile(strUrl, strOutputPath, pSink, pacing.systemLimits);
  if (nFileStatus == 0 && platform::PathExists(strOutputPath)) {
    strLog += L"used URLDownloadToFile() downloaded.";
    return 0;
  }
  if (nFileStatus == platform::kTransferAborted) return stopped();
  strLog += L"URLDownloadToFile failed.";

  std::int64_t nOffset = 0;  // carried from attempt to attempt: each one resumes
  std::wstring strError;
  for (int i = 0; i < pacing.nSocketAttempts; ++i) {
    if (platform::StopRequested(pSink)) return stopped();
    ResumeCheck resume;
    strError = DownloadFileBySocket(strUrl, strOutputPath, &nOffset, pSink, pacing.socketLimits, &resume);
    // The partial file was not what the last attempt left: worth knowing
    // when a download fails or takes long.
    strLog += ResumeFixText(resume);
    if (strError.empty() && platform::PathExists(strOutputPath)) {
      strLog += L"used DownloadFileBySocket() downloaded.";
      return 0;
    }
    if (strError == kDownloadStopped || StoppedDuring(pacing.socketRetryPause, pSink)) return stopped();
  }
  strLog += L"DownloadFileBySocket failed:" + strError;
  // The caller reads the file download's status; when that one claimed
  // success without a file, a failure must still come back as one.
  return nFileStatus != 0 ? nFileStatus : platform::kInetDownloadFailure;
}
