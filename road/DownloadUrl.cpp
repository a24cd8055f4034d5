#include "road/DownloadUrl.h"

#include "Deployment.h"
#include "common/Common.h"
#include "log/Log.h"
#include "platform/InputFile.h"
#include "platform/UrlCache.h"
#include "road/RoadPacing.h"
#include "road/StepFailure.h"

namespace {

constexpr std::size_t kPointerReadLimit = 260;
constexpr std::size_t kMinNameLength = 3;
constexpr std::size_t kMaxNameLength = 100;

}  // namespace

std::wstring DownloadSourceBase(int nSource) {
  switch (nSource) {
    case 1: return FETCHLET_SOURCE1_BASE;
    case 2: return FETCHLET_SOURCE2_BASE;
    default: return FETCHLET_SOURCE0_BASE;
  }
}

bool IsValidInstallerName(const std::wstring& strName) {
  static const std::wstring kPrefix = L"ashfallbattle";
  static const std::wstring kSuffix = L"exe";
  if (strName.size() < kMinNameLength || strName.size() > kMaxNameLength) return false;
  if (strName.compare(0, kPrefix.size(), kPrefix) != 0) return false;
  return strName.compare(strName.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0;
}

std::wstring GetDownloadUrl(int nSource, std::wstring& strUrl) {
  const std::wstring strBase = DownloadSourceBase(nSource);
  // Windows XP and older get the installer made for them.
  if (IsOldWindows()) {
    strUrl = strBase + kOldWindowsInstallerName;
    return L"Version too low.";
  }
  strUrl = strBase + kFallbackInstallerName;

  // Always the server's current copy: a cached pointer may name an installer
  // that is gone.
  const std::wstring strPointerUrl = strBase + kPointerFileName;
  platform::PurgeUrlCacheEntry(strPointerUrl);
  std::wstring strCachedFile;
  const std::int32_t nStatus =
      platform::FetchUrlToCache(strPointerUrl, strCachedFile, nullptr, GetRoadPacing().download.systemLimits);
  CLog::GetInstance().Write("BattleCfg Download URL:" + WideToAnsi(strPointerUrl));
  if (nStatus != 0) return L"GetDownloadUrl.URLDownloadToCacheFile error";

  std::string strBytes;
  if (!platform::ReadFileHead(strCachedFile, kPointerReadLimit, strBytes)) return L"file.fail())";
  const std::size_t nNul = strBytes.find('\0');
  if (nNul != std::string::npos) strBytes.resize(nNul);
  const std::wstring strName = AnsiToWide(strBytes);
  if (!IsValidInstallerName(strName)) {
    strUrl = strBase + kFallbackInstallerName;
    return L"file.read error";
  }
  strUrl = strBase + strName;
  CLog::GetInstance().Write("Battle Client Download URL:" + WideToAnsi(strUrl));
  return std::wstring();
}
