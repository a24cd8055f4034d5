#include "platform/UrlCache.h"

#include <windows.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <array>
#include <memory>

#include "platform/win32/BindStatusAdapter.h"

namespace platform {

namespace {

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

}  // namespace

std::int32_t FetchUrlToCache(const std::wstring& strUrl, std::wstring& strCachedFile, IProgressSink* pSink,
                             const TransferLimits& limits) {
  // The worker writes here; it may outlive this call, so it shares the buffer.
  auto pCachedFile = std::make_shared<std::array<wchar_t, MAX_PATH>>();
  const std::wstring strEntryUrl = CacheEntryUrl(strUrl);
  DWORD nHttpStatus = 0;
  const HRESULT hResult = RunBoundedBinding(
      [strEntryUrl, pCachedFile](IBindStatusCallback* pCallback) {
        return URLDownloadToCacheFileW(nullptr, strEntryUrl.c_str(), pCachedFile->data(),
                                       static_cast<DWORD>(pCachedFile->size()), 0, pCallback);
      },
      pSink, limits, nHttpStatus);
  if (hResult != S_OK) return static_cast<std::int32_t>(hResult);

  // urlmon files an error page like any other answer; it must not be used,
  // nor served again from the cache.
  if (const std::int32_t nHttpResult = HttpStatusResult(nHttpStatus); nHttpResult != 0) {
    PurgeUrlCacheEntry(strUrl);
    return nHttpResult;
  }
  (*pCachedFile)[pCachedFile->size() - 1] = L'\0';
  strCachedFile = pCachedFile->data();
  return 0;
}

void PurgeUrlCacheEntry(const std::wstring& strUrl) {
  // The result is not needed: an entry that is already gone is the aim.
  DeleteUrlCacheEntryW(CacheEntryUrl(strUrl).c_str());
}

}  // namespace platform
