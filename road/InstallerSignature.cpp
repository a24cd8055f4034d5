#include "road/InstallerSignature.h"

#include <mutex>

#include "common/Common.h"
#include "log/Log.h"
#include "platform/FileSystem.h"
#include "platform/PublisherSignature.h"
#include "platform/SystemError.h"
#include "platform/UrlCache.h"

std::int32_t CheckDownloadedInstaller(const std::wstring& strPath, const std::wstring& strUrl,
                                      const std::wstring& strPublisher, std::wstring& strLog,
                                      platform::CFileReadLock& installerLock) {
  // Held before it is checked: the file that passes is the file that starts.
  if (!installerLock.Hold(strPath)) {
    const std::wstring strReason =
        L"the file cannot be held (error " + std::to_wstring(platform::GetLastErrorCode()) + L")";
    strLog += L"InstallerSignature:" + strReason;
    CLog::GetInstance().Write("Refused the installer " + WideToUtf8(strPath) + ": " + WideToUtf8(strReason));
    return platform::kInetDownloadFailure;
  }

  const bool bAvailable = platform::PublisherSignatureCheckAvailable();
  if (strPublisher.empty() || !bAvailable) {
    static std::once_flag logged;
    std::call_once(logged, [bAvailable] {
      CLog::GetInstance().Write(bAvailable
                                    ? "The installer's signature is not checked: no publisher is built in."
                                    : "The installer's signature is not checked: this system has no code-signing trust.");
    });
    return 0;
  }

  const platform::SignatureVerdict verdict = platform::CheckPublisherSignature(strPath, strPublisher);
  if (verdict.nStatus == 0) return 0;
  // A refused installer must not stay where a later run or the URL cache
  // would hand it out again; held, not even this program could delete it.
  installerLock.Release();
  platform::DeleteFileAt(strPath);
  platform::PurgeUrlCacheEntry(strUrl);
  strLog += L"InstallerSignature:" + verdict.strReason;
  CLog::GetInstance().Write("Refused the installer " + WideToUtf8(strPath) + ": " + WideToUtf8(verdict.strReason));
  return verdict.nStatus;
}
