#include "platform/UrlCache.h"

#include <windows.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform {

namespace {

// A wait longer than this is no limit at all; capping it keeps the clock
// arithmetic of the wait far from overflow.
constexpr std::chrono::milliseconds kLongestWait = std::chrono::hours(24);

// Wine's URL cache names the cache file after everything behind the URL's
// last dot. When that tail holds a "/" (a dotted host and a path without a
// dot) the file cannot be made and the fetch fails before any request; when
// it is long (a long query) a fixed buffer overflows and the process dies.
// A fragment that ends in a plain extension gives the name a usable tail
// without changing the request, as fragments are never sent. The entry is
// filed under that URL, so the purge names it the same way.
constexpr std::size_t kWineLongestCacheExtension = 32;
constexpr const wchar_t* kWineCacheNameFragment = L"#.txt";

bool RunsOnWine() {
  HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
  return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

std::wstring CacheEntryUrl(const std::wstring& strUrl) {
  static const bool bWine = RunsOnWine();
  if (!bWine) return strUrl;
  const std::wstring strExtension = PathFindExtensionW(strUrl.c_str());
  if (strExtension.size() <= kWineLongestCacheExtension &&
      strExtension.find(L'/') == std::wstring::npos) {
    return strUrl;
  }
  return strUrl + kWineCacheNameFragment;
}

// What one fetch shares between its worker and the caller. The worker holds
// its own reference, so a caller that gave up can go while the worker still
// runs.
struct FetchState {
  std::mutex csState;
  std::condition_variable cvDone;
  bool bDone = false;
  HRESULT hResult = kInetDownloadFailure;
  std::wstring strCachedFile;
};

class ComApartment {
public:
  ComApartment() : m_hResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(m_hResult)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

private:
  HRESULT m_hResult;
};

void FetchWorker(std::wstring strUrl, std::shared_ptr<FetchState> pState) {
  HRESULT hResult = kInetDownloadFailure;
  wchar_t szCachedFile[MAX_PATH] = {};
  {
    ComApartment apartment;
    hResult = URLDownloadToCacheFileW(nullptr, strUrl.c_str(), szCachedFile, MAX_PATH, 0, nullptr);
  }
  std::lock_guard<std::mutex> lock(pState->csState);
  pState->hResult = hResult;
  if (hResult == S_OK) pState->strCachedFile = szCachedFile;
  pState->bDone = true;
  pState->cvDone.notify_all();
}

}  // namespace

std::int32_t FetchUrlToCache(const std::wstring& strUrl, std::wstring& strCachedFile,
                             std::chrono::milliseconds timeout) {
  // urlmon takes no time limit and a stalled peer can hold the call for
  // minutes, so the call runs on a worker of its own and the wait is bounded.
  // A worker that outlives its wait is left behind: it touches nothing but
  // its own state and ends with the call or with the process.
  auto pState = std::make_shared<FetchState>();
  try {
    std::thread(FetchWorker, CacheEntryUrl(strUrl), pState).detach();
  } catch (const std::system_error&) {
    return kInetDownloadFailure;
  }

  if (timeout < std::chrono::milliseconds::zero()) timeout = std::chrono::milliseconds::zero();
  if (timeout > kLongestWait) timeout = kLongestWait;
  std::unique_lock<std::mutex> lock(pState->csState);
  if (!pState->cvDone.wait_for(lock, timeout, [&] { return pState->bDone; })) return kInetTimeout;
  if (pState->hResult == S_OK) strCachedFile = pState->strCachedFile;
  return static_cast<std::int32_t>(pState->hResult);
}

void PurgeUrlCacheEntry(const std::wstring& strUrl) {
  // The result is not needed: an entry that is already gone is the aim.
  DeleteUrlCacheEntryW(CacheEntryUrl(strUrl).c_str());
}

}  // namespace platform
