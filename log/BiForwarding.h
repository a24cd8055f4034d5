// The reports' second channel: every event also goes to the BI service, after
// the client was initialised when it is not yet.
#pragma once

#include <cstdint>
#include <string>

#include "log/TelemetrySender.h"

// The BI service's name for a statistics data type.
std::string BiEventName(int nDataType);

struct SdkInitInfo;

// The initialisation record the reporter sends for this device.
SdkInitInfo MakeReporterInitInfo(const std::wstring& strDeviceId, std::int64_t tInstallTime);

// Initialises the BI client when needed (one attempt per report), then sends
// the report's event; runs on the sender's BI lane, every transfer within its
// own limit and the deadline.
void ForwardToBi(const TelemetryReport& report, CTelemetrySender::Deadline deadline);
