#include "log/Log.h"

#include <chrono>

#include "common/AccountId.h"
#include "common/Clock.h"
#include "common/Common.h"
#include "common/DeviceRecord.h"
#include "log/BiForwarding.h"
#include "log/DataTypes.h"
#include "log/StatisticsRequest.h"
#include "platform/Administrator.h"
#include "platform/FileSystem.h"
#include "platform/WorkArea.h"

namespace {

constexpr const char* kSeparatorLine = "--------------------------------------";  // 38 dashes

std::wstring LogFolder() {
  std::wstring strIgnored;  // the device record reports a missing data folder
  return GetRecordFolder(strIgnored);
}

void SendStatisticsWithin(const std::wstring& strUrl, CTelemetrySender::Deadline deadline) {
  SendStatisticsRequest(strUrl, TimeLeftWithin(kStatsRequestBudget, deadline));
}

}  // namespace

CLog& CLog::GetInstance() {
  static CLog s_log(LogFolder(), SendStatisticsWithin, ForwardToBi);
  return s_log;
}

CLog::CLog(const std::wstring& strLogFolder, CTelemetrySender::StatsChannel fnStats,
           CTelemetrySender::BiChannel fnBi)
    : m_sender(std::move(fnStats), std::move(fnBi)) {
  OpenLogFile(strLogFolder);
}

CLog::~CLog() {
  // The sender must be gone before anything it uses is freed; the transfers
  // in hand are bounded.
  LogDropped(m_sender.Stop(), "at teardown");
  // Its last fallback may have come after the exit report removed the file.
  platform::DeleteFileAt(StatisticsScratchFile());
  if (m_pLogFile != nullptr) {
    Write("Close the log file");
    std::lock_guard<std::mutex> lock(m_csWrite);
    std::fprintf(m_pLogFile, "%s\n", kSeparatorLine);
    std::fclose(m_pLogFile);
    m_pLogFile = nullptr;
  }
}

void CLog::OpenLogFile(const std::wstring& strLogFolder) {
  const std::string strPath = WideToAnsi(strLogFolder) + "/Fetchlet-" + ".log";
  // Create every folder on the way; failures (most often "exists") are
  // ignored, the open below tells whether there is a log.
  for (std::size_t i = 1; i < strPath.size(); ++i) {
    if (strPath[i] == '\\' || strPath[i] == '/') platform::MakeDirectory(AnsiToWide(strPath.substr(0, i)));
  }
  // Binary mode: every line ends with a single "\n" on both systems.
  m_pLogFile = std::fopen(strPath.c_str(), "ab");
  if (m_pLogFile == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(m_csWrite);
    std::fprintf(m_pLogFile, "\n%s\n", kSeparatorLine);
  }
  Write("Open the log file");
}

void CLog::Write(const char* msg) {
  std::lock_guard<std::mutex> lock(m_csWrite);
  if (m_pLogFile == nullptr) return;
  std::fprintf(m_pLogFile, "[]:%s\n", msg ? msg : "");
  std::fflush(m_pLogFile);
}

std::wstring CLog::LoadDeviceRecord() {
  DeviceRecord record;
  const std::wstring strErrors = ::LoadDeviceRecord(record);
  m_strDeviceId = record.strDeviceId;
  m_strRecordFile = record.strRecordFile;
  m_tInstallTime = record.tInstallTime;
  return strErrors;
}

std::wstring CLog::BuildStartText(const std::wstring& strRecordErrors) const {
  int nWidth = 0, nHeight = 0;
  platform::GetWorkAreaSize(nWidth, nHeight);
  std::wstring strText = L"SW=" + std::to_wstring(nWidth) + L",SH=" + std::to_wstring(nHeight);
  if (!strRecordErrors.empty()) strText += L"Error=" + strRecordErrors;
  const std::wstring strAccountId = GetAccountId();
  if (!strAccountId.empty()) strText += L",PAID=" + strAccountId;
  return strText;
}

bool CLog::Startup() {
  m_tStartTime = NowSeconds();
  const std::wstring strRecordErrors = LoadDeviceRecord();
  const std::string& strAccountProblem = LookUpAccountId().strProblem;
  if (!strAccountProblem.empty()) Write("The account id in the signature is not used: " + strAccountProblem);
  Report(kEventStart, BuildStartText(strRecordErrors));
  StartSender();

  const bool bAdministrator = m_fnIsAdministrator ? m_fnIsAdministrator() : platform::IsAdministrator();
  if (bAdministrator) return true;
  if (m_fnTellNotAdministrator) m_fnTellNotAdministrator();
  ReportExit(L"Not an Administrator");
  return false;
}

void CLog::StartSender() {
  // Without a sender the run goes on unreported; the exit report then does
  // not wait for lanes nobody serves.
  if (!m_sender.Start()) Write("The report sender threads could not be started.");
}

void CLog::LogDropped(const CTelemetrySender::Dropped& dropped, const char* pWhen) {
  if (dropped.Total() == 0) return;
  Write("Reports left unsent " + std::string(pWhen) + ": " + std::to_string(dropped.nStatsRequests) +
        " statistics requests and " + std::to_string(dropped.nBiEvents) + " BI events were dropped.");
}
