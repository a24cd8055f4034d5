// The statistics reporter's second channel: every event also goes to the BI
// service, after the client was initialised when it is not yet.
#pragma once

#include <cstdint>
#include <string>

// The BI service's name for a statistics data type.
std::string BiEventName(int nDataType);

struct SdkInitInfo;

// The initialisation record the reporter sends for this device.
SdkInitInfo MakeReporterInitInfo(const std::wstring& strDeviceId, std::int64_t tInstallTime);

// Initialises the BI client when needed and sends the event; blocks the
// calling thread for the transfers (about a second each at most).
void ForwardToBi(int nDataType, const std::wstring& strText, const std::wstring& strDeviceId,
                 std::int64_t tInstallTime);
