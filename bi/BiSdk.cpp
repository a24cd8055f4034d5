#include "bi/BiSdk.h"

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "Deployment.h"
#include "bi/BiAnswer.h"
#include "bi/PostJson.h"
#include "common/Md5Checksum.h"

namespace {

constexpr const char* kAppSecret = "7ad2e914c03b6f58e1a97c20d4b36e5f";
constexpr int kDefaultEnvironment = 1;
constexpr int kZoneOffset = 8;

std::string Md5Of(const std::string& strText) {
  return CMD5Checksum::GetMD5(reinterpret_cast<const unsigned char*>(strText.data()), strText.size());
}

const std::map<int, ReportConfig>& EnvironmentTable() {
  static const std::map<int, ReportConfig> s_table = {
      {0, {FETCHLET_BI_SERVER, kAppSecret}},
      {1, {FETCHLET_BI_SERVER, kAppSecret}},
      {2, {FETCHLET_BI_SERVER, kAppSecret}},
  };
  return s_table;
}

}  // namespace

ReportConfig GetReportConfig(int nEnvironment) {
  const auto& table = EnvironmentTable();
  const auto entry = table.find(nEnvironment);
  if (entry != table.end()) return entry->second;
  std::fprintf(stderr, "Invalid environment specified!\n");
  return {FETCHLET_BI_SERVER, kAppSecret};
}

BiSdkState& GetBiSdkState() {
  static BiSdkState* s_pState = [] {
    auto* pState = new BiSdkState;  // lives to the very end: reports come until then
    const ReportConfig config = GetReportConfig(kDefaultEnvironment);
    pState->reportServer = config.reportServer;
    pState->appSecret = config.appSecret;
    return pState;
  }();
  return *s_pState;
}

bool IsBiSdkInitialized() {
  BiSdkState& state = GetBiSdkState();
  std::lock_guard<std::mutex> lock(state.csState);
  return state.initialized;
}

std::string CurrentBiToken() {
  BiSdkState& state = GetBiSdkState();
  std::lock_guard<std::mutex> lock(state.csState);
  return state.token;
}

std::string SdkInitSign(const SdkInitInfo& info, const std::string& strSecret) {
  // The service's order: device id before event name.
  return Md5Of(info.appid + info.channel + info.device_id + info.event_name + std::to_string(info.client_time) +
               strSecret);
}

std::string CustomEventSign(std::int64_t nClientTime, const std::string& strEventName, const std::string& strSecret) {
  return Md5Of(std::to_string(nClientTime) + strEventName + strSecret);
}

bool SdkInit(const SdkInitInfo& info, std::chrono::milliseconds limit) {
  BiSdkState& state = GetBiSdkState();
  std::string strServer, strSecret;
  {
    std::lock_guard<std::mutex> lock(state.csState);
    strServer = state.reportServer;
    strSecret = state.appSecret;
  }
  const nlohmann::json body = {
      {"appid", info.appid},
      {"channel", info.channel},
      {"event_name", info.event_name},
      {"device_id", info.device_id},
      {"device_model", info.device_model},
      {"os", info.os},
      {"os_version", info.os_version},
      {"sdk_version", info.sdk_version},
      {"manufacturer", info.manufacturer},
      {"app_version", info.app_version},
      {"install_time", info.install_time},
      {"account_id", info.account_id},
      {"ram", "1.2/4"},
      {"disk", "30/200"},
      {"report_server", 1},
      {"client_time", info.client_time},
      {"sign", SdkInitSign(info, strSecret)},
  };
  // The initialisation carries no token.
  const std::string strResponse = PostJson(strServer + "sdk_init", body, std::string(), limit);
  const BiAnswer answer = ReadBiAnswer(strResponse, true);
  if (answer.kind == BiAnswerKind::Refused) {
    std::fprintf(stderr, "SDK initialization failed, error: %s\n", answer.strText.c_str());
    return false;
  }
  if (answer.kind == BiAnswerKind::Unreadable) {
    std::fprintf(stderr, "Error parsing JSON response: %s\n", answer.strText.c_str());
    return false;
  }
  const std::string& strToken = answer.strText;
  {
    std::lock_guard<std::mutex> lock(state.csState);
    state.token = strToken;
    state.initInfo = info;
    state.initialized = true;
  }
  if (!info.account_id.empty() && !strToken.empty()) std::printf("SDK BI_ACCOUNT_PROPERTY successfully!!!\n");
  return true;
}

bool ReportCustomEvent(std::int64_t nClientTime, std::string strEventName, std::string strEventRemark,
                       std::chrono::milliseconds limit) {
  BiSdkState& state = GetBiSdkState();
  std::string strServer, strSecret, strToken;
  SdkInitInfo info;
  {
    std::lock_guard<std::mutex> lock(state.csState);
    strServer = state.reportServer;
    strSecret = state.appSecret;
    strToken = state.token;
    info = state.initInfo;
  }

  nlohmann::json properties;
  if (!strEventRemark.empty()) {
    try {
      properties = nlohmann::json::parse(strEventRemark);
    } catch (const nlohmann::json::exception&) {
      properties = {{"event_remark", strEventRemark}};
    }
    // Only an object can take the members below: anything else travels whole.
    if (!properties.is_object() && !properties.is_null()) properties = {{"event_remark", strEventRemark}};
  }
  properties["guid"] = info.guid;
  properties["role_id"] = info.role_id;
  properties["role_lv"] = info.role_lv;
  properties["uid"] = info.uid;

  const nlohmann::json body = {
      {"account_id", info.account_id},
      {"normal_account", info.account_id},
      {"zone_offset", kZoneOffset},
      {"event_name", strEventName},
      {"client_time", nClientTime},
      {"sign", CustomEventSign(nClientTime, strEventName, strSecret)},
      {"properties", properties},
  };
  const std::string strResponse = PostJson(strServer + "auth/report", body, strToken, limit);
  const BiAnswer answer = ReadBiAnswer(strResponse, false);
  if (answer.kind == BiAnswerKind::Refused) {
    std::printf("SDK ReportCustomEvent failed, error: %s\n", answer.strText.c_str());
    return false;
  }
  if (answer.kind == BiAnswerKind::Unreadable) {
    std::fprintf(stderr, "Error parsing JSON response: %s\n", answer.strText.c_str());
    return false;
  }
  std::printf("SDK ReportCustomEvent successfully, token: %s\n", strToken.c_str());
  return true;
}
