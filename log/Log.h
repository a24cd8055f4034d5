// CLog: the program's log file, the facts every report carries, and the
// background sender that delivers the reports on both channels.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "log/TelemetrySender.h"

class CLog {
public:
  // The end of the run waits this long at most for the reports still unsent.
  static constexpr std::chrono::milliseconds kExitSendBound{5000};

  static CLog& GetInstance();

  // A log in the given folder whose reports go out through the given
  // channels (tests use their own; the program's instance logs into the data
  // folder, sends statistics through the URL cache and events to the BI
  // service).
  CLog(const std::wstring& strLogFolder, CTelemetrySender::StatsChannel fnStats,
       CTelemetrySender::BiChannel fnBi);
  ~CLog();
  CLog(const CLog&) = delete;
  CLog& operator=(const CLog&) = delete;

  // One line "[]:" + msg; whole even when threads write at once.
  void Write(const char* msg);
  void Write(const std::string& msg) { Write(msg.c_str()); }

  // Start of run: start time, device record, start event, sender threads,
  // administrator check. false when the process is not an administrator.
  bool Startup();

  // Queues the event on both channels and returns at once. After the exit
  // event nothing but another exit event is taken: it is logged and dropped.
  void Report(int nDataType, const std::wstring& strText);
  // Reports the end of the run, then waits for the sender up to
  // kExitSendBound; what is still unsent then is dropped and counted in the log.
  void ReportExit(const std::wstring& strReason);
  // The two halves of ReportExit, for a caller that must stay responsive
  // while the reports go: the exit event queued, and the wait for the sender.
  void QueueExit(const std::wstring& strReason);
  // Waits up to kExitSendBound from now, calling fnMeanwhile between short
  // looks while reports are still unsent; then drops what is left.
  void FinishReports(const std::function<void()>& fnMeanwhile = nullptr);
  std::wstring Sign(const std::wstring& strTs) const;
  // The statistics request URL of one event with the given "&ts=" value.
  std::wstring BuildRequestUrl(int nDataType, const std::wstring& strText,
                               const std::wstring& strTs) const;
  std::wstring BuildStartText(const std::wstring& strRecordErrors) const;

  std::wstring LoadDeviceRecord();
  // Statistics requests reported and not yet sent.
  std::size_t QueuedRequestCount() { return m_sender.UnsentStatsRequests(); }

  std::wstring m_strDeviceId;
  std::wstring m_strRecordFile;
  std::atomic<int> m_nLastDataType{101};
  std::int64_t m_tStartTime = 0;
  std::int64_t m_tInstallTime = 0;
  // C stdio rather than a stream: streams bring the whole locale library
  // into the program, a third of the shipped file.
  std::FILE* m_pLogFile = nullptr;

  // Seam for the administrator test (Wine always reports elevation).
  std::function<bool()> m_fnIsAdministrator;
  // Tells the user that the run needs administrator rights (the front end
  // shows its box); called by Startup before it reports the exit.
  std::function<void()> m_fnTellNotAdministrator;

private:
  void OpenLogFile(const std::wstring& strLogFolder);
  void StartSender();
  void LogDropped(const CTelemetrySender::Dropped& dropped, const char* pWhen);

  std::mutex m_csWrite;
  std::mutex m_csReport;
  bool m_bExitReported = false;  // guarded by m_csReport
  // Last member: its threads stop before anything else is torn down.
  CTelemetrySender m_sender;
};
