// The event reporter: signed statistics request URLs, the reports handed to
// the sender, the exit report.
#include <chrono>
#include <thread>

#include "Deployment.h"
#include "common/Clock.h"
#include "common/Common.h"
#include "common/Md5Checksum.h"
#include "log/DataTypes.h"
#include "log/Log.h"
#include "log/StatisticsRequest.h"
#include "platform/FileSystem.h"
#include "platform/OsVersion.h"

namespace {

// Shared with the statistics server; part of every request's sign.
constexpr const wchar_t* kStatsSignKey = L"0f3c9a41d27be5806c1d4a9e3b72f058";
constexpr const wchar_t* kChannelId = L"platform_mini";

std::wstring OsVersionText() {
  unsigned nMajor = 0, nMinor = 0;
  if (!platform::GetOsVersion(nMajor, nMinor)) return L"0.0";
  return std::to_wstring(nMajor) + L"." + std::to_wstring(nMinor);
}

}  // namespace

std::wstring CLog::Sign(const std::wstring& strTs) const {
  const std::string strInput = WideToAnsi(kStatsSignKey + m_strDeviceId + kChannelId + strTs);
  return AnsiToWide(CMD5Checksum::GetMD5(reinterpret_cast<const unsigned char*>(strInput.data()), strInput.size()));
}

std::wstring CLog::BuildRequestUrl(int nDataType, const std::wstring& strText, const std::wstring& strTs) const {
  std::wstring strUrl = std::wstring(L"http://") + FETCHLET_STATS_HOST + L":8032/api/index?serviceCode=30003";
  strUrl += L"&deviceId=" + m_strDeviceId;
  strUrl += L"&dataType=" + std::to_wstring(nDataType);
  strUrl += L"&merId=893762&gameid=10027";
  strUrl += L"&ts=" + strTs;
  strUrl += std::wstring(L"&chanId=") + kChannelId;
  strUrl += L"&sign=" + Sign(strTs);
  if (nDataType == kEventStart) {
    strUrl += L"&osVersion=" + OsVersionText();
    strUrl += L"&sdkVersion=" + GetModuleVersionText();
  }
  if (!strText.empty()) {
    // Through the ANSI code page first: the server has always received the
    // text as this system's narrow text would carry it.
    strUrl += L"&extend=" + UrlEncode(AnsiToWide(WideToAnsi(strText)));
  }
  return strUrl;
}

void CLog::Report(int nDataType, const std::wstring& strText) {
  // One lock from the look at the exit to the queue: no report slips in
  // behind an exit event made meanwhile.
  std::lock_guard<std::mutex> lock(m_csReport);
  if (nDataType != kEventExit && m_bExitReported) {
    Write("A report after the end of the run is dropped: data type " + std::to_string(nDataType));
    return;
  }
  TelemetryReport report;
  report.nClientTime = NowMilliseconds();
  report.strStatsUrl = BuildRequestUrl(nDataType, strText, std::to_wstring(report.nClientTime));
  report.nDataType = nDataType;
  report.strText = strText;
  report.strDeviceId = m_strDeviceId;
  report.tInstallTime = m_tInstallTime;
  m_sender.Queue(std::move(report));
  m_nLastDataType = nDataType;
  if (nDataType == kEventExit) m_bExitReported = true;
}

void CLog::ReportExit(const std::wstring& strReason) {
  QueueExit(strReason);
  FinishReports();
}

void CLog::QueueExit(const std::wstring& strReason) {
  const std::int64_t nUseTime = m_tStartTime != 0 ? NowSeconds() - m_tStartTime : 0;
  Report(kEventExit, L"LastDataType:" + std::to_wstring(m_nLastDataType.load()) +
                         L",UseTime:" + std::to_wstring(nUseTime) + L",Exit:" + strReason);

  platform::DeleteFileAt(StatisticsScratchFile());
}

void CLog::FinishReports(const std::function<void()>& fnMeanwhile) {
  // Every report so far is delivered, or dropped at the bound: a service
  // that never answers cannot hold the end of the run.
  const auto deadline = CTelemetrySender::Deadline::clock::now() + kExitSendBound;
  if (fnMeanwhile) {
    constexpr std::chrono::milliseconds kLook{10};
    while (m_sender.Unfinished() > 0 && CTelemetrySender::Deadline::clock::now() < deadline) {
      fnMeanwhile();
      std::this_thread::sleep_for(kLook);
    }
  }
  LogDropped(m_sender.FinishBy(deadline), "at the end of the run");
}
