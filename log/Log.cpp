#include "log/Log.h"

#include <chrono>

#include "common/AccountSlot.h"
#include "common/Clock.h"
#include "common/Common.h"
#include "common/DeviceRecord.h"
#include "download/SocketDownload.h"
#include "platform/Administrator.h"
#include "platform/FileSystem.h"
#include "platform/UrlCache.h"
#include "platform/WorkArea.h"

namespace {

constexpr const char* kSeparatorLine = "--------------------------------------";  // 38 dashes
// One statistics request, both transfers together, may take this long: the
// exit report waits for the queue, so a server that accepts and never answers
// must not hold it longer.
constexpr std::chrono::milliseconds kStatsRequestBudget{2000};

std::wstring LogFolder() {
  std::wstring strIgnored;  // the device record reports a missing data folder
  return GetRecordFolder(strIgnored);
}

}  // namespace

std::wstring StatisticsScratchFile() { return std::wstring(L".") + platform::kPathSeparator + L"cb.log"; }

void SendStatisticsRequest(const std::wstring& strUrl) {
  const auto start = std::chrono::steady_clock::now();
  std::wstring strCachedFile;
  const platform::TransferLimits limits{kStatsRequestBudget, kStatsRequestBudget, kStatsRequestBudget};
  if (platform::FetchUrlToCache(strUrl, strCachedFile, nullptr, limits) == 0) {
    // Every request URL is unique (it carries its time): keep the cache clean.
    platform::PurgeUrlCacheEntry(strUrl);
    return;
  }
  // Once more by the own client, within what is left of the budget. The
  // request only has to reach the server: "src file too small!" is its usual end.
  const auto left = kStatsRequestBudget -
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  if (left <= std::chrono::milliseconds(0)) return;
  SocketDownloadLimits socketLimits;
  socketLimits.connect = socketLimits.send = socketLimits.receive = socketLimits.total = left;
  std::int64_t nOffset = 0;
  DownloadFileBySocket(strUrl, StatisticsScratchFile(), &nOffset, nullptr, socketLimits);
}

CLog& CLog::GetInstance() {
  static CLog s_log(LogFolder(), SendStatisticsRequest);
  return s_log;
}

CLog::CLog(const std::wstring& strLogFolder, RequestSender fnSend) : m_fnSend(std::move(fnSend)) {
  OpenLogFile(strLogFolder);
}

CLog::~CLog() {
  // The sender must be gone before anything it uses is freed.
  StopSender();
  // Its last fallback may have come after the exit report removed the file.
  platform::DeleteFileAt(StatisticsScratchFile());
  if (m_ofsLog.is_open()) {
    Write("Close the log file");
    std::lock_guard<std::mutex> lock(m_csWrite);
    m_ofsLog << kSeparatorLine << '\n';
    m_ofsLog.close();
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
  m_ofsLog.open(strPath, std::ios::out | std::ios::app | std::ios::binary);
  if (!m_ofsLog.is_open()) return;
  {
    std::lock_guard<std::mutex> lock(m_csWrite);
    m_ofsLog << '\n' << kSeparatorLine << '\n';
  }
  Write("Open the log file");
}

void CLog::Write(const char* msg) {
  std::lock_guard<std::mutex> lock(m_csWrite);
  if (!m_ofsLog.is_open()) return;
  m_ofsLog << "[]:" << (msg ? msg : "") << '\n';
  m_ofsLog.flush();
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
  Report(101, BuildStartText(strRecordErrors));
  StartSender();

  const bool bAdministrator = m_fnIsAdministrator ? m_fnIsAdministrator() : platform::IsAdministrator();
  if (bAdministrator) return true;
  if (m_fnTellNotAdministrator) m_fnTellNotAdministrator();
  ReportExit(L"Not an Administrator");
  return false;
}

void CLog::StartSender() {
  if (m_bSenderRunning) return;
  try {
    m_threadSender = std::thread(&CLog::ReportThreadProc, this);
    m_bSenderRunning = true;
  } catch (const std::system_error&) {
    // Without a sender the run goes on unreported; the exit report then does
    // not wait for a queue nobody takes from.
    Write("The statistics sender thread could not be started.");
  }
}

void CLog::StopSender() {
  if (!m_bSenderRunning) return;
  {
    std::lock_guard<std::mutex> lock(m_csRequest);
    m_bStopSender = true;
  }
  m_cvRequest.notify_all();
  m_threadSender.join();  // waits for the transfer in hand, which is bounded
  m_bSenderRunning = false;
}

void CLog::ReportThreadProc() {
  for (;;) {
    std::wstring strUrl;
    {
      std::unique_lock<std::mutex> lock(m_csRequest);
      m_cvRequest.wait(lock, [this] { return m_bStopSender || !m_listRequest.empty(); });
      if (m_bStopSender) return;
      strUrl = std::move(m_listRequest.front());
      m_listRequest.pop_front();
    }
    if (!strUrl.empty()) m_fnSend(strUrl);
  }
}

std::size_t CLog::QueuedRequestCount() {
  std::lock_guard<std::mutex> lock(m_csRequest);
  return m_listRequest.size();
}
