#include "log/BiForwarding.h"

#include <nlohmann/json.hpp>

#include "bi/BiSdk.h"
#include "bi/PostJson.h"
#include "common/Clock.h"
#include "common/Common.h"
#include "log/DataTypes.h"

std::string BiEventName(int nDataType) {
  switch (nDataType) {
    case kEventDownloadAttempt: return "ruzero_dev_install_start";
    case kEventFailure:
    case kEventInstallFailed: return "ruzero_dev_install_error";
    case kEventInstalled: return "ruzero_dev_install_end";
    case kEventStart: return "ruzero_dev_install_interface";
    case kEventExit: return "ruzero_dev_install_exit";
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

namespace {

const char* BiErrorType(int nDataType) {
  switch (nDataType) {
    case kEventFailure: return "DownloadError";
    case kEventInstallFailed: return "InstallError";
    case kEventExit: return "UserClose";
    default: return nullptr;
  }
}

}  // namespace

void ForwardToBi(const TelemetryReport& report, CTelemetrySender::Deadline deadline) {
  // A failure leaves the client uninitialised: the next report tries again.
  if (!IsBiSdkInitialized()) {
    const auto limit = TimeLeftWithin(kBiTransferLimit, deadline);
    if (limit <= std::chrono::milliseconds(0)) return;
    SdkInit(MakeReporterInitInfo(report.strDeviceId, report.tInstallTime), limit);
  }

  nlohmann::json properties = {{"version", WideToUtf8(GetModuleVersionText())}};
  if (const char* pErrorType = BiErrorType(report.nDataType)) {
    properties["error_type"] = pErrorType;
    properties["error_msg"] = WideToUtf8(report.strText);
  }
  const auto limit = TimeLeftWithin(kBiTransferLimit, deadline);
  if (limit <= std::chrono::milliseconds(0)) return;
  ReportCustomEvent(report.nClientTime, BiEventName(report.nDataType), DumpCompact(properties), limit);
}
