#include "bi/PostJson.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>

#include "BiCaFile.h"
#include "Deployment.h"
#include "platform/CurlLibrary.h"

namespace {

size_t WriteResponse(char* pData, size_t nSize, size_t nCount, void* pUser) {
  static_cast<std::string*>(pUser)->append(pData, nSize * nCount);
  return nSize * nCount;
}

}  // namespace

long BiSslOptions() {
  // Company firewalls often block the certificate authorities' revocation
  // servers: a check that cannot be made must not cost every report, while a
  // certificate the system knows to be revoked is still refused. Only
  // Schannel checks revocation; other TLS stacks ignore the bit.
  return CURLSSLOPT_REVOKE_BEST_EFFORT;
}

std::string DumpCompact(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string PostJson(const std::string& strUrl, const nlohmann::json& body, const std::string& strToken,
                     std::chrono::milliseconds limit) {
  const std::string strBody = DumpCompact(body);
  std::string strResponse;
  platform::EnsureCurlInitialised();
  if (CURL* pCurl = curl_easy_init()) {
    // libcurl reads zero as "no limit": a spent limit still gives up at once.
    const long nLimitMs = static_cast<long>(std::max<std::chrono::milliseconds::rep>(limit.count(), 1));
    curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(pCurl, CURLOPT_POST, 1L);
    curl_easy_setopt(pCurl, CURLOPT_POSTFIELDS, strBody.c_str());
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, WriteResponse);
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &strResponse);
    // The bearer token and the device's data go only to the real service.
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (FETCHLET_BI_CA_FILE[0] != '\0') curl_easy_setopt(pCurl, CURLOPT_CAINFO, FETCHLET_BI_CA_FILE);
    curl_easy_setopt(pCurl, CURLOPT_SSL_OPTIONS, BiSslOptions());
    curl_easy_setopt(pCurl, CURLOPT_PROXY_SSL_OPTIONS, BiSslOptions());
    // The limits cover the name look-up too: libcurl resolves on a thread of
    // its own, which it leaves behind at the limit instead of waiting for it
    // (quick exit); no signal is used to keep them.
    curl_easy_setopt(pCurl, CURLOPT_CONNECTTIMEOUT_MS, nLimitMs);
    curl_easy_setopt(pCurl, CURLOPT_TIMEOUT_MS, nLimitMs);
    curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(pCurl, CURLOPT_QUICK_EXIT, 1L);

    curl_slist* pHeaders = curl_slist_append(nullptr, "Content-Type: application/json");
    const auto name = body.find("event_name");
    const bool bInit = name != body.end() && name->is_string() && name->get<std::string>() == "init";
    if (!bInit) pHeaders = curl_slist_append(pHeaders, ("Authorization:BEARER" + strToken).c_str());
    curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);

    const CURLcode code = curl_easy_perform(pCurl);
    if (code != CURLE_OK) {
      std::fprintf(stderr, "curl_easy_perform() failed: %s\n", curl_easy_strerror(code));
      if (strResponse.empty()) strResponse = DumpCompact({{"RES", -1}, {"ERR", "report server timeout ."}});
    }
    curl_slist_free_all(pHeaders);
    curl_easy_cleanup(pCurl);
  }
  return strResponse;
}
