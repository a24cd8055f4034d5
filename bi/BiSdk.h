// The BI SDK client: its process-wide state, the initialisation that obtains
// the bearer token, and the custom events.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "bi/PostJson.h"

struct ReportConfig {
  std::string reportServer;  // "https://host/": request paths are appended
  std::string appSecret;     // the last piece of every sign; never sent
};

struct SdkInitInfo {
  std::string appid, channel, event_name, device_id, device_model, os, os_version, sdk_version, manufacturer,
      app_version;
  std::int64_t install_time = 0;
  std::int64_t client_time = 0;
  std::string account_id, role_id, role_lv, uid, guid;
};

struct BiSdkState {
  std::string reportServer;
  std::string appSecret;
  std::string token;
  SdkInitInfo initInfo;
  bool initialized = false;
  // Held only to copy the state in or out, never across a transfer.
  std::mutex csState;
};

BiSdkState& GetBiSdkState();
ReportConfig GetReportConfig(int nEnvironment);

// The transfers below take at most `limit` each (kBiTransferLimit unless the
// caller has less time).

// Registers the device; true when the service accepted it.
bool SdkInit(const SdkInitInfo& info, std::chrono::milliseconds limit = kBiTransferLimit);
bool IsBiSdkInitialized();
std::string CurrentBiToken();

// Sends one named event; true when the service accepted it.
bool ReportCustomEvent(std::int64_t nClientTime, std::string strEventName, std::string strEventRemark,
                       std::chrono::milliseconds limit = kBiTransferLimit);

// Signs of the two requests, exposed for their tests.
std::string SdkInitSign(const SdkInitInfo& info, const std::string& strSecret);
std::string CustomEventSign(std::int64_t nClientTime, const std::string& strEventName, const std::string& strSecret);
