// CLog: the program's log file, the facts every statistics request carries,
// and the queue of statistics requests with the thread that sends them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

class CLog {
public:
  // Sends one statistics request; the answer is never read.
  using RequestSender = std::function<void(const std::wstring& strUrl)>;

  static CLog& GetInstance();

  // A log in the given folder with the given request sender (tests use their
  // own; the program's instance logs into the data folder and sends through
  // the URL cache).
  CLog(const std::wstring& strLogFolder, RequestSender fnSend);
  ~CLog();
  CLog(const CLog&) = delete;
  CLog& operator=(const CLog&) = delete;

  // One line "[]:" + msg; whole even when threads write at once.
  void Write(const char* msg);
  void Write(const std::string& msg) { Write(msg.c_str()); }

  // Start of run: start time, device record, start event, sender thread,
  // administrator check. false when the process is not an administrator.
  bool Startup();

  void Report(int nDataType, const std::wstring& strText);
  void ReportExit(const std::wstring& strReason);
  std::wstring Sign(const std::wstring& strTs) const;
  // The statistics request URL of one event with the given "&ts=" value.
  std::wstring BuildRequestUrl(int nDataType, const std::wstring& strText,
                               const std::wstring& strTs) const;
  std::wstring BuildStartText(const std::wstring& strRecordErrors) const;

  std::wstring LoadDeviceRecord();
  void ReportThreadProc();
  std::size_t QueuedRequestCount();

  std::wstring m_strDeviceId;
  std::wstring m_strRecordFile;
  std::atomic<int> m_nLastDataType{101};
  std::int64_t m_tStartTime = 0;
  std::int64_t m_tInstallTime = 0;
  std::ofstream m_ofsLog;
  std::list<std::wstring> m_listRequest;
  std::mutex m_csRequest;

  // Seam for the administrator test (Wine always reports elevation).
  std::function<bool()> m_fnIsAdministrator;
  // Tells the user that the run needs administrator rights (the front end
  // shows its box); called by Startup before it reports the exit.
  std::function<void()> m_fnTellNotAdministrator;

private:
  void OpenLogFile(const std::wstring& strLogFolder);
  void StartSender();
  void StopSender();

  std::mutex m_csWrite;
  RequestSender m_fnSend;
  std::condition_variable m_cvRequest;
  std::thread m_threadSender;
  bool m_bSenderRunning = false;
  bool m_bStopSender = false;  // guarded by m_csRequest
};

// The program's request sender: the URL cache, then once more the own HTTP
// client into the scratch file; both together bounded.
void SendStatisticsRequest(const std::wstring& strUrl);
// ".\cb.log" in the current folder: the own client's target, never read.
std::wstring StatisticsScratchFile();
