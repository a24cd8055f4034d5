// The URL cache of the Linux build: libcurl into one file per URL in a cache
// folder under the data folder, revalidated with ETag / Last-Modified.
#include "platform/UrlCache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/CodePage.h"
#include "platform/posix/CurlTransfer.h"
#include "platform/posix/DataFolder.h"

namespace platform {

namespace {

struct CacheEntry {
  std::string strFile;
  std::string strMeta;  // first line ETag, second line Last-Modified
};

std::string CacheFolder() {
  const std::string strShared = EnsureDataFolder() + "/UrlCache";
  ::mkdir(strShared.c_str(), 0755);
  if (::access(strShared.c_str(), W_OK | X_OK) == 0) return strShared;
  // The folder belongs to whoever ran first: another user keeps a cache of
  // its own, as each Windows user has one. It must really be this user's.
  const char* pTemp = std::getenv("TMPDIR");
  const std::string strOwn = std::string(pTemp && *pTemp ? pTemp : "/tmp") + "/fetchlet-UrlCache-" +
                             std::to_string(::geteuid());
  ::mkdir(strOwn.c_str(), 0700);
  struct stat st {};
  if (::lstat(strOwn.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) return strOwn;
  return strShared;  // nothing better: the fetch fails and says so
}

CacheEntry EntryFor(const std::wstring& strUrl) {
  const std::string strCache = CacheFolder();
  // FNV-1a of the URL names its file.
  std::uint64_t nHash = 1469598103934665603ull;
  for (unsigned char c : WideToNarrow(strUrl)) {
    nHash ^= c;
    nHash *= 1099511628211ull;
  }
  char szName[17];
  std::snprintf(szName, sizeof(szName), "%016llx", static_cast<unsigned long long>(nHash));
  return {strCache + "/" + szName, strCache + "/" + szName + ".meta"};
}

// What the last answer said of the cached copy: ETag, then Last-Modified.
struct Validators {
  std::string strETag;
  std::string strLastModified;
};

Validators ReadMeta(const std::string& strMeta) {
  Validators validators;
  std::ifstream meta(strMeta);
  std::getline(meta, validators.strETag);
  std::getline(meta, validators.strLastModified);
  return validators;
}

}  // namespace

std::int32_t FetchUrlToCache(const std::wstring& strUrl, std::wstring& strCachedFile, IProgressSink* pSink,
                             const TransferLimits& limits) {
  const CacheEntry entry = EntryFor(strUrl);
  static std::atomic<unsigned> s_nTempCounter{0};
  const std::string strTemp =
      entry.strFile + ".part." + std::to_string(::getpid()) + "." + std::to_string(s_nTempCounter++);

  std::vector<std::string> headers;
  const bool bCached = ::access(entry.strFile.c_str(), R_OK) == 0;
  if (bCached) {
    const Validators stored = ReadMeta(entry.strMeta);
    if (!stored.strETag.empty()) headers.push_back("If-None-Match: " + stored.strETag);
    if (!stored.strLastModified.empty()) headers.push_back("If-Modified-Since: " + stored.strLastModified);
  }

  CurlAnswer answer;
  std::int32_t nStatus = CurlGetToFile(WideToNarrow(strUrl), strTemp, pSink, limits, headers, answer);
  if (nStatus == 0 && answer.nHttpStatus == 304) {
    // The cached copy is current.
    if (!bCached || headers.empty()) nStatus = kInetDownloadFailure;
  } else if (nStatus == 0) {
    if (std::rename(strTemp.c_str(), entry.strFile.c_str()) != 0) {
      nStatus = kInetDownloadFailure;
    } else {
      std::ofstream meta(entry.strMeta, std::ios::trunc);
      meta << answer.strETag << '\n' << answer.strLastModified << '\n';
    }
  }
  std::remove(strTemp.c_str());
  if (nStatus == 0) strCachedFile = NarrowToWide(entry.strFile);
  return nStatus;
}

void PurgeUrlCacheEntry(const std::wstring& strUrl) {
  const CacheEntry entry = EntryFor(strUrl);
  std::remove(entry.strFile.c_str());
  std::remove(entry.strMeta.c_str());
}

}  // namespace platform
