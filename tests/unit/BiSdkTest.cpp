#include <gtest/gtest.h>

#include "Deployment.h"
#include "bi/BiSdk.h"
#include "bi/PostJson.h"
#include "common/Common.h"
#include "log/BiForwarding.h"

namespace {

constexpr const char* kSecret = "7ad2e914c03b6f58e1a97c20d4b36e5f";

TEST(BiSdk, SignsHashTheirFieldsInTheServicesOrder) {
  SdkInitInfo info;
  info.appid = "82";
  info.channel = "x";
  info.device_id = "y";
  info.event_name = "init";
  info.client_time = 5;
  // md5("82xyinit5" + secret): the device id comes before the event name.
  EXPECT_EQ(SdkInitSign(info, kSecret), "c0e5c1beb9e3c8e230d6d8ba3c39e7d5");
  // md5("5x" + secret)
  EXPECT_EQ(CustomEventSign(5, "x", kSecret), "e66db4e1ae5950c38a4081998ead237d");
}

TEST(BiSdk, EveryEnvironmentNamesTheSameService) {
  for (int nEnvironment : {0, 1, 2, 7}) {
    const ReportConfig config = GetReportConfig(nEnvironment);
    EXPECT_EQ(config.reportServer, FETCHLET_BI_SERVER);
    EXPECT_EQ(config.appSecret, kSecret);
  }
}

TEST(BiSdk, DataTypesHaveTheirEventNames) {
  const struct {
    int nType;
    const char* pName;
  } cases[] = {{1, "ruzero_dev_install_start"},  {2, "ruzero_dev_install_error"},
               {5, "ruzero_dev_install_error"},  {6, "ruzero_dev_install_end"},
               {101, "ruzero_dev_install_interface"}, {103, "ruzero_dev_install_exit"},
               {3, "default3"},                  {100, "default100"}, {-4, "default-4"}};
  for (const auto& c : cases) EXPECT_EQ(BiEventName(c.nType), c.pName) << c.nType;
}

TEST(BiSdk, BodiesAreCompactSortedUtf8WhateverTheText) {
  nlohmann::json body = {{"b", 1}, {"a", "\xE4\xB8\xAD"}};
  EXPECT_EQ(DumpCompact(body), "{\"a\":\"\xE4\xB8\xAD\",\"b\":1}");
  // A byte sequence that is no UTF-8 is replaced, not a reason to end the process.
  body["c"] = std::string("\xC3(", 2);
  EXPECT_NO_THROW(DumpCompact(body));
  EXPECT_NE(DumpCompact(body).find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(WideToUtf8, EncodesTextAndReplacesWhatCannotBeEncoded) {
  EXPECT_EQ(WideToUtf8(L"a\u00E9\u4E2D"), "a\xC3\xA9\xE4\xB8\xAD");
  EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(WideToUtf8(L""), "");
}

}  // namespace
