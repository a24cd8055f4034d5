// The TLS options PostJson sets on every BI transfer: revocation checked at
// best effort (a revocation server a company firewall blocks must not fail
// every report, a certificate known to be revoked must), never turned off,
// and taken by the libcurl this build links, for the service and a proxy.
// Wine's certificate chains never carry a revocation result, so no
// end-to-end case can show either half under Wine: the options are held here.
#include <curl/curl.h>

#include <gtest/gtest.h>

#include <memory>

#include "bi/PostJson.h"
#include "platform/CurlLibrary.h"

namespace {

struct CurlDeleter {
  void operator()(CURL* p) const { curl_easy_cleanup(p); }
};

}  // namespace

TEST(PostJson, ChecksRevocationAtBestEffortNeverNotAtAll) {
  const long nOptions = BiSslOptions();
  EXPECT_EQ(nOptions & CURLSSLOPT_REVOKE_BEST_EFFORT, CURLSSLOPT_REVOKE_BEST_EFFORT);
  EXPECT_EQ(nOptions & CURLSSLOPT_NO_REVOKE, 0);
}

TEST(PostJson, LinkedLibcurlTakesTheSslOptionsForServiceAndProxy) {
  platform::EnsureCurlInitialised();
  const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  ASSERT_TRUE(curl);
  EXPECT_EQ(curl_easy_setopt(curl.get(), CURLOPT_SSL_OPTIONS, BiSslOptions()), CURLE_OK);
  // A libcurl built without proxy support refuses this one.
  EXPECT_EQ(curl_easy_setopt(curl.get(), CURLOPT_PROXY_SSL_OPTIONS, BiSslOptions()), CURLE_OK);
}
