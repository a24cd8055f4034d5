// The URL cache of the Linux build: libcurl into one file per URL in a cache
// folder under the data folder, revalidated with ETag / Last-Modified.
#include "platform/UrlCache.h"

#include <curl/curl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>

#include "platform/CodePage.h"
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

void EnsureCurlInitialised() {
  static std::once_flag s_once;
  std::call_once(s_once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* p) const { curl_easy_cleanup(p); }
};
struct SlistDeleter {
  void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};
struct FileDeleter {
  void operator()(FILE* p) const { std::fclose(p); }
};

struct Validators {
  std::string strETag;
  std::string strLastModified;
};

std::string HeaderValue(const std::string& strLine, const char* pName) {
  const std::size_t nLen = std::char_traits<char>::length(pName);
  if (strLine.size() <= nLen || strncasecmp(strLine.c_str(), pName, nLen) != 0) return std::string();
  std::string strValue = strLine.substr(nLen);
  const auto first = strValue.find_first_not_of(" \t");
  const auto last = strValue.find_last_not_of(" \t\r\n");
  return first == std::string::npos ? std::string() : strValue.substr(first, last - first + 1);
}

size_t OnHeader(char* pData, size_t nSize, size_t nCount, void* pUser) {
  auto* pValidators = static_cast<Validators*>(pUser);
  const std::string strLine(pData, nSize * nCount);
  if (strLine.rfind("HTTP/", 0) == 0) *pValidators = Validators{};  // a new answer after a redirect
  if (auto v = HeaderValue(strLine, "ETag:"); !v.empty()) pValidators->strETag = v;
  if (auto v = HeaderValue(strLine, "Last-Modified:"); !v.empty()) pValidators->strLastModified = v;
  return nSize * nCount;
}

Validators ReadMeta(const std::string& strMeta) {
  Validators validators;
  std::ifstream meta(strMeta);
  std::getline(meta, validators.strETag);
  std::getline(meta, validators.strLastModified);
  return validators;
}

std::int32_t StatusForCurlError(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      return kInetResourceNotFound;
    case CURLE_OPERATION_TIMEDOUT:
      return kInetTimeout;
    default:
      return kInetDownloadFailure;
  }
}

}  // namespace

std::int32_t FetchUrlToCache(const std::wstring& strUrl, std::wstring& strCachedFile,
                             std::chrono::milliseconds timeout) {
  EnsureCurlInitialised();
  const CacheEntry entry = EntryFor(strUrl);
  static std::atomic<unsigned> s_nTempCounter{0};
  const std::string strTemp =
      entry.strFile + ".part." + std::to_string(::getpid()) + "." + std::to_string(s_nTempCounter++);

  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  std::unique_ptr<FILE, FileDeleter> file(std::fopen(strTemp.c_str(), "wb"));
  if (!curl || !file) return kInetDownloadFailure;

  std::unique_ptr<curl_slist, SlistDeleter> headers;
  const bool bCached = ::access(entry.strFile.c_str(), R_OK) == 0;
  if (bCached) {
    const Validators stored = ReadMeta(entry.strMeta);
    curl_slist* pList = nullptr;
    if (!stored.strETag.empty()) pList = curl_slist_append(pList, ("If-None-Match: " + stored.strETag).c_str());
    if (!stored.strLastModified.empty()) {
      pList = curl_slist_append(pList, ("If-Modified-Since: " + stored.strLastModified).c_str());
    }
    headers.reset(pList);
  }

  const std::string strNarrowUrl = WideToNarrow(strUrl);
  Validators received;
  const long nTimeoutMs = static_cast<long>(timeout.count());
  curl_easy_setopt(curl.get(), CURLOPT_URL, strNarrowUrl.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, nTimeoutMs);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, nTimeoutMs);
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, file.get());
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &received);
  if (headers) curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());

  const CURLcode code = curl_easy_perform(curl.get());
  long nHttpStatus = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &nHttpStatus);
  const bool bClosed = std::fclose(file.release()) == 0;

  std::int32_t nStatus = 0;
  if (code != CURLE_OK) {
    nStatus = StatusForCurlError(code);
  } else if (nHttpStatus == 304 && bCached) {
    nStatus = 0;  // the cached copy is current
  } else if (nHttpStatus == 404) {
    nStatus = kInetObjectNotFound;
  } else if (nHttpStatus < 200 || nHttpStatus >= 300 || !bClosed) {
    nStatus = kInetDownloadFailure;
  } else if (std::rename(strTemp.c_str(), entry.strFile.c_str()) != 0) {
    nStatus = kInetDownloadFailure;
  } else {
    std::ofstream meta(entry.strMeta, std::ios::trunc);
    meta << received.strETag << '\n' << received.strLastModified << '\n';
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
