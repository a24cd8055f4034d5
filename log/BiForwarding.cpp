#include "log/BiForwarding.h"

#include <nlohmann/json.hpp>

#include "bi/BiSdk.h"
#include "bi/PostJson.h"
#include "common/Clock.h"
#include "common/Common.h"

std::string BiEventName(int nDataType) {
  switch (nDataType) {
    case 1: return "ruzero_dev_install_start";
    case 2:
    case 5: return "ruzero_dev_install_error";
    case 6: return "ruzero_dev_install_end";
    case 101: return "ruzero_dev_install_interface";
    case 103: return "ruzero_dev_install_exit";
    default: return "default" + std::to_string(nDataType);
  }
}

SdkInitInfo MakeReporterInitInfo(const std::wstring& strDeviceId, std::int64_t tInstallTime) {
  // The service takes UTF-8: texts go there straight from wide text, never
  // through the system's code page.
  SdkInitInfo info;
  info.appid = "82";
  info.channel = "tarn_platform_fetchlet";
  info.event_name = "init";
  info.device_id = WideToUtf8(strDeviceId);
  info.device_model = "Windows";
  info.os = "PC_MINI";
  info.os_version = "Windows";
  info.sdk_version = "1.0";
  info.manufacturer = "Intel";
  info.app_version = WideToUtf8(GetModuleVersionText());
  info.install_time = tInstallTime;
  info.client_time = NowMilliseconds();
  return info;
}

void ForwardToBi(int nDataType, const std::wstring& strText, const std::wstring& strDeviceId,
                 std::int64_t tInstallTime) {
  // A failure leaves the client uninitialised: the next report tries again.
  if (!IsBiSdkInitialized()) SdkInit(MakeReporterInitInfo(strDeviceId, tInstallTime));

  const std::string strVersion = WideToUtf8(GetModuleVersionText());

  nlohmann::json properties = {{"version", strVersion}};
  const char* pErrorType = nDataType == 2 ? "DownloadError" : nDataType == 5 ? "InstallError" : nDataType == 103 ? "UserClose" : nullptr;
  if (pErrorType) {
    properties["error_type"] = pErrorType;
    properties["error_msg"] = WideToUtf8(strText);
  }
  ReportCustomEvent(NowMilliseconds(), BiEventName(nDataType), DumpCompact(properties));
}
