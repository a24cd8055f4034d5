// The per-machine record "Tarnnet.db": device id, first-install time and the
// hand-shake value "LastCall" shared with the installed platform.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const wchar_t* kRecordSection = L"TarnNet";
inline constexpr const wchar_t* kRecordFileName = L"Tarnnet.db";
inline constexpr const wchar_t* kDataFolderName = L"Tarn.net";
// What this program writes into "LastCall" on every start.
inline constexpr const wchar_t* kLastCallValue = L"Fetchstub";

struct DeviceRecord {
  std::wstring strDeviceId;
  std::wstring strRecordFile;
  std::int64_t tInstallTime = 0;
};

// The machine-wide folder of the log and the record. Appends an error text to
// strErrors when the system cannot name the data folder.
std::wstring GetRecordFolder(std::wstring& strErrors);

// Finds or creates the record and its values; returns the failures on the way,
// joined without separators (empty when all went well).
std::wstring LoadDeviceRecord(DeviceRecord& record);
// The same in a given record folder (after the data folder was looked up).
std::wstring LoadDeviceRecordIn(const std::wstring& strFolder, DeviceRecord& record);

// Leading decimal digits of the text (with an optional "-"); 0 when none.
std::int64_t ParseInstallTime(const std::wstring& strText);
