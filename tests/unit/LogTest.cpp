#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "Deployment.h"
#include "common/Common.h"
#include "log/Log.h"
#include "tests/unit/TestSupport.h"

namespace {

const std::string kSeparator(38, '-');

// Collects what the two channels send, in the order they send it; each
// transfer may take its time, but never past the deadline it is given.
struct CSentRequests {
  std::mutex cs;
  std::vector<std::wstring> urls;
  std::vector<int> biTypes;
  std::chrono::milliseconds delay{0};

  void Take(CTelemetrySender::Deadline deadline) {
    const auto limit = TimeLeftWithin(delay, deadline);
    if (limit > std::chrono::milliseconds(0)) std::this_thread::sleep_for(limit);
  }
  CTelemetrySender::StatsChannel Stats() {
    return [this](const std::wstring& strUrl, CTelemetrySender::Deadline deadline) {
      Take(deadline);
      std::lock_guard<std::mutex> lock(cs);
      urls.push_back(strUrl);
    };
  }
  CTelemetrySender::BiChannel Bi() {
    return [this](const TelemetryReport& report, CTelemetrySender::Deadline deadline) {
      Take(deadline);
      std::lock_guard<std::mutex> lock(cs);
      biTypes.push_back(report.nDataType);
    };
  }
  std::vector<std::wstring> Snapshot() {
    std::lock_guard<std::mutex> lock(cs);
    return urls;
  }
  std::vector<int> BiSnapshot() {
    std::lock_guard<std::mutex> lock(cs);
    return biTypes;
  }
};

std::string LogText(const CTempFolder& temp) { return ReadWholeFile(temp.Fs() / "Fetchlet-.log"); }

TEST(LogFile, EachRunIsFramedAndRunsAppend) {
  CTempFolder temp;
  CSentRequests sent;
  { CLog log(temp.Path(), sent.Stats(), sent.Bi()); log.Write("first run"); }
  { CLog log(temp.Path(), sent.Stats(), sent.Bi()); log.Write("second run"); }
  const std::string strRun = "\n" + kSeparator + "\n[]:Open the log file\n[]:%s\n[]:Close the log file\n" +
                             kSeparator + "\n";
  auto run = [&](const std::string& strLine) {
    std::string s = strRun;
    return s.replace(s.find("%s"), 2, strLine);
  };
  EXPECT_EQ(LogText(temp), run("first run") + run("second run"));
}

TEST(LogFile, LinesStayWholeWhenThreadsWriteAtOnce) {
  CTempFolder temp;
  CSentRequests sent;
  constexpr int kThreads = 8, kLines = 300;
  const std::string strPadding(200, 'x');
  {
    CLog log(temp.Path(), sent.Stats(), sent.Bi());
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
      writers.emplace_back([&, t] {
        for (int i = 0; i < kLines; ++i) log.Write("t" + std::to_string(t) + " " + strPadding);
      });
    }
    for (auto& writer : writers) writer.join();
  }
  std::stringstream lines(LogText(temp));
  std::string strLine;
  int nWritten = 0;
  while (std::getline(lines, strLine)) {
    if (strLine.rfind("[]:t", 0) != 0) continue;
    ++nWritten;
    EXPECT_EQ(strLine.size(), 3 + 2 + 1 + strPadding.size()) << strLine;
  }
  EXPECT_EQ(nWritten, kThreads * kLines);
}

TEST(LogFile, AFolderThatCannotBeOpenedMeansNoLogButNoFailure) {
  CTempFolder temp;
  WriteWholeFile(temp.Fs() / "blocked", "x");
  CSentRequests sent;
  CLog log(temp.Child(L"blocked"), sent.Stats(), sent.Bi());
  log.Write("goes nowhere");
  EXPECT_EQ(log.m_pLogFile, nullptr);
}

class CReporter : public ::testing::Test {
protected:
  CReporter() {
    m_log.emplace(m_temp.Path(), m_sent.Stats(), m_sent.Bi());
    m_log->m_strDeviceId = L"0123456789abcdef0123456789abcdef";
    m_log->m_fnIsAdministrator = [] { return true; };
  }
  CTempFolder m_temp;
  CSentRequests m_sent;
  std::optional<CLog> m_log;
};

TEST_F(CReporter, BuildsTheSignedRequestInItsFixedOrder) {
  EXPECT_EQ(m_log->Sign(L"1700000000123"), L"760dd893b6268e8256475dab17f3fa25");
  EXPECT_EQ(m_log->BuildRequestUrl(5, L"a b,c:d=e", L"1700000000123"),
            std::wstring(L"http://") + FETCHLET_STATS_HOST +
                L":8032/api/index?serviceCode=30003&deviceId=0123456789abcdef0123456789abcdef"
                L"&dataType=5&merId=893762&gameid=10027&ts=1700000000123&chanId=platform_mini"
                L"&sign=760dd893b6268e8256475dab17f3fa25&extend=a+b%2Cc%3Ad%3De");
  // An empty text has no extend part at all.
  const std::wstring strEmpty = m_log->BuildRequestUrl(4, L"", L"1700000000123");
  EXPECT_EQ(strEmpty.find(L"&extend="), std::wstring::npos);
  EXPECT_EQ(strEmpty.substr(strEmpty.size() - 38), L"&sign=760dd893b6268e8256475dab17f3fa25");
}

TEST_F(CReporter, OnlyTheStartEventCarriesOsAndSdkVersion) {
  const std::wstring strStart = m_log->BuildRequestUrl(101, L"SW=1920,SH=1040", L"1");
  const auto nSign = strStart.find(L"&sign="), nOs = strStart.find(L"&osVersion="),
             nSdk = strStart.find(L"&sdkVersion=25.4.15.19.rl&extend=SW%3D1920%2CSH%3D1040");
  ASSERT_NE(nOs, std::wstring::npos);
  ASSERT_NE(nSdk, std::wstring::npos);
  EXPECT_LT(nSign, nOs);
  EXPECT_LT(nOs, nSdk);
  for (int nType : {1, 2, 3, 100, 103}) {
    const std::wstring strUrl = m_log->BuildRequestUrl(nType, L"x", L"1");
    EXPECT_EQ(strUrl.find(L"&osVersion="), std::wstring::npos) << nType;
    EXPECT_EQ(strUrl.find(L"&sdkVersion="), std::wstring::npos) << nType;
  }
}

TEST_F(CReporter, SignDependsOnDeviceAndTimeOnly) {
  const std::wstring strSign = m_log->Sign(L"1700000000123");
  EXPECT_EQ(QueryFields(m_log->BuildRequestUrl(1, L"one", L"1700000000123"))[L"sign"], strSign);
  EXPECT_EQ(QueryFields(m_log->BuildRequestUrl(7, L"", L"1700000000123"))[L"sign"], strSign);
  EXPECT_NE(m_log->Sign(L"1700000000124"), strSign);
  m_log->m_strDeviceId = L"fedcba9876543210fedcba9876543210";
  EXPECT_NE(m_log->Sign(L"1700000000123"), strSign);
}

TEST_F(CReporter, BothChannelsSendEveryReportOnceInOrderAndExitWaitsForThem) {
  m_sent.delay = std::chrono::milliseconds(30);
  ASSERT_TRUE(m_log->Startup());
  for (int i = 1; i <= 4; ++i) m_log->Report(i, L"step " + std::to_wstring(i));
  m_log->ReportExit(L"Success");
  // Nothing is in hand any more: the exit report was delivered, not just taken.
  EXPECT_EQ(m_log->QueuedRequestCount(), 0u);
  EXPECT_EQ(m_log->m_nLastDataType, 103);
  const auto urls = m_sent.Snapshot();
  ASSERT_EQ(urls.size(), 6u);
  const std::vector<std::wstring> types = {L"101", L"1", L"2", L"3", L"4", L"103"};
  for (std::size_t i = 0; i < urls.size(); ++i) EXPECT_EQ(QueryFields(urls[i])[L"dataType"], types[i]);
  EXPECT_EQ(m_sent.BiSnapshot(), (std::vector<int>{101, 1, 2, 3, 4, 103}));

  const std::string strStart = FormDecode(QueryFields(urls[0])[L"extend"]);
  EXPECT_EQ(strStart.rfind("SW=", 0), 0u) << strStart;
  EXPECT_NE(strStart.find(",SH="), std::string::npos) << strStart;
  EXPECT_EQ(strStart.find(",PAID="), std::string::npos) << strStart;  // the slot holds its placeholder
  const std::string strExit = FormDecode(QueryFields(urls[5])[L"extend"]);
  EXPECT_EQ(strExit.rfind("LastDataType:4,UseTime:", 0), 0u) << strExit;
  EXPECT_EQ(strExit.substr(strExit.size() - 13), ",Exit:Success") << strExit;
}

TEST_F(CReporter, ReportsFromManyThreadsReachBothChannelsInTheSameOrder) {
  ASSERT_TRUE(m_log->Startup());
  constexpr int kThreads = 4, kReports = 50;
  std::vector<std::thread> reporters;
  for (int t = 0; t < kThreads; ++t) {
    reporters.emplace_back([&, t] {
      for (int i = 0; i < kReports; ++i) m_log->Report(1000 + t * kReports + i, L"");
    });
  }
  for (auto& reporter : reporters) reporter.join();
  m_log->ReportExit(L"Success");

  std::vector<int> statsTypes;
  for (const auto& strUrl : m_sent.Snapshot()) statsTypes.push_back(std::stoi(QueryFields(strUrl)[L"dataType"]));
  EXPECT_EQ(statsTypes, m_sent.BiSnapshot());
  ASSERT_EQ(statsTypes.size(), std::size_t{kThreads * kReports + 2});
  // Each thread's reports in its own order, none twice.
  std::vector<int> last(kThreads, -1);
  for (std::size_t i = 1; i + 1 < statsTypes.size(); ++i) {
    const int nThread = (statsTypes[i] - 1000) / kReports, nIndex = (statsTypes[i] - 1000) % kReports;
    EXPECT_EQ(nIndex, last[nThread] + 1) << "report " << statsTypes[i];
    last[nThread] = nIndex;
  }
}

TEST_F(CReporter, AReportNeverWaitsForItsTransfers) {
  m_sent.delay = std::chrono::milliseconds(1500);  // a service that takes its time
  ASSERT_TRUE(m_log->Startup());
  const auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= 5; ++i) m_log->Report(i, L"x");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  m_log.reset();  // teardown ends the transfer in hand and drops the rest
}

TEST_F(CReporter, ANonAdministratorReportsItsExit) {
  m_log->m_fnIsAdministrator = [] { return false; };
  EXPECT_FALSE(m_log->Startup());
  m_log.reset();
  const auto urls = m_sent.Snapshot();
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(QueryFields(urls[1])[L"dataType"], L"103");
  const std::string strExit = FormDecode(QueryFields(urls[1])[L"extend"]);
  EXPECT_EQ(strExit.rfind("LastDataType:101,UseTime:", 0), 0u) << strExit;
  EXPECT_EQ(strExit.substr(strExit.find(",Exit:")), ",Exit:Not an Administrator") << strExit;
}

// Nothing reaches the servers after the exit event but another exit event
// (the contact dialog after a refused start ends that run a second time).
TEST_F(CReporter, AfterTheExitEventOnlyAnotherExitEventIsTaken) {
  ASSERT_TRUE(m_log->Startup());
  m_log->Report(1, L"");
  m_log->ReportExit(L"BtnClose");
  m_log->Report(3, L"late");
  m_log->Report(4, L"");
  m_log->ReportExit(L"ContactClose.");
  m_log.reset();
  EXPECT_EQ(m_sent.BiSnapshot(), (std::vector<int>{101, 1, 103, 103}));
  const auto urls = m_sent.Snapshot();
  ASSERT_EQ(urls.size(), 4u);
  EXPECT_EQ(QueryFields(urls[2])[L"dataType"], L"103");
  EXPECT_NE(LogText(m_temp).find("[]:A report after the end of the run is dropped: data type 3\n"), std::string::npos)
      << LogText(m_temp);
}

// The main thread queues the exit and then waits for the reports, answering
// its window meanwhile: the queueing never waits, the wait delivers all.
TEST_F(CReporter, QueuedExitReturnsAtOnceAndTheWaitKeepsTheCallerServing) {
  m_sent.delay = std::chrono::milliseconds(200);
  ASSERT_TRUE(m_log->Startup());
  m_log->Report(1, L"");
  const auto start = std::chrono::steady_clock::now();
  m_log->QueueExit(L"BtnClose");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  int nServed = 0;
  m_log->FinishReports([&nServed] { ++nServed; });
  EXPECT_GT(nServed, 0);
  EXPECT_EQ(m_sent.BiSnapshot(), (std::vector<int>{101, 1, 103}));
  EXPECT_EQ(m_sent.Snapshot().size(), 3u);
}

TEST(ReportExit, WithoutStartUpDoesNotWaitAndLogsWhatWasDropped) {
  CTempFolder temp;
  CSentRequests sent;
  {
    CLog log(temp.Path(), sent.Stats(), sent.Bi());
    log.ReportExit(L"ProgressExist.");  // no sender threads: must return at once
    EXPECT_EQ(log.QueuedRequestCount(), 0u);
  }
  EXPECT_TRUE(sent.Snapshot().empty());
  EXPECT_NE(LogText(temp).find("[]:Reports left unsent at the end of the run: 1 statistics requests and 1 BI events "
                               "were dropped.\n"),
            std::string::npos)
      << LogText(temp);
}

TEST(ReportThread, TeardownWaitsForTheTransferInHand) {
  CTempFolder temp;
  CSentRequests sent;
  sent.delay = std::chrono::milliseconds(300);
  {
    CLog log(temp.Path(), sent.Stats(), sent.Bi());
    log.m_fnIsAdministrator = [] { return true; };
    ASSERT_TRUE(log.Startup());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the lanes hold the start event
  }
  EXPECT_EQ(sent.Snapshot().size(), 1u);
  EXPECT_EQ(sent.BiSnapshot(), std::vector<int>{101});
}

}  // namespace
