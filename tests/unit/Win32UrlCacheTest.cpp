// The system's URL transfers (the URL cache and the file download) against a
// scripted loopback peer: an HTTP error answer is a failure, never a saved
// page; the connect, stall and total limits hold when the peer goes quiet;
// a stop ends the transfer within moments; progress reaches the sink; a purge
// really drops the cached file.
#ifdef _WIN32

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/UrlCache.h"
#include "platform/UrlDownload.h"
#include "tests/unit/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class WinsockSession {
public:
  WinsockSession() { m_bStarted = WSAStartup(MAKEWORD(1, 1), &m_data) == 0; }
  ~WinsockSession() {
    if (m_bStarted) WSACleanup();
  }
  bool Started() const { return m_bStarted; }

private:
  WSADATA m_data{};
  bool m_bStarted = false;
};

// What the peer does with each request.
struct PeerScript {
  std::string strStatus = "200 OK";  // empty: read the request and never answer
  std::string strBody;
  // The announced length when it differs from the body (a body that stops short).
  std::size_t nDeclaredLength = std::string::npos;
  int nChunks = 1;  // the body in this many pieces...
  std::chrono::milliseconds chunkPause{0};  // ...with this pause before each one after the first
  bool bHoldOpen = false;  // after the body, keep the connection open and say nothing
};

// One HTTP peer on 127.0.0.1 that answers every request by its script.
class LoopbackPeer {
public:
  explicit LoopbackPeer(PeerScript script) : m_script(std::move(script)) {
    m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_listen == INVALID_SOCKET) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int nAddrLength = sizeof(addr);
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(m_listen, 8) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &nAddrLength) != 0) {
      return;
    }
    m_nPort = ntohs(addr.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }

  ~LoopbackPeer() {
    m_bStop = true;
    if (m_listen != INVALID_SOCKET) closesocket(m_listen);
    {
      std::lock_guard<std::mutex> lock(m_csClients);
      for (SOCKET s : m_clients) shutdown(s, 2);
    }
    if (m_thread.joinable()) m_thread.join();
    for (SOCKET s : m_clients) closesocket(s);
  }

  unsigned short Port() const { return m_nPort; }
  int Requests() const { return m_nRequests; }
  std::wstring Url(const std::wstring& strPath) const {
    return L"http://127.0.0.1:" + std::to_wstring(m_nPort) + strPath;
  }

private:
  void Serve() {
    while (!m_bStop) {
      SOCKET client = accept(m_listen, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      {
        std::lock_guard<std::mutex> lock(m_csClients);
        m_clients.push_back(client);
      }
      if (!ReadRequest(client)) continue;
      ++m_nRequests;
      if (m_script.strStatus.empty()) continue;  // held open, never answered
      Answer(client);
    }
  }

  void Answer(SOCKET client) {
    const std::size_t nLength =
        m_script.nDeclaredLength == std::string::npos ? m_script.strBody.size() : m_script.nDeclaredLength;
    const std::string strHead = "HTTP/1.1 " + m_script.strStatus + "\r\nContent-Type: text/plain\r\n"
                                "Content-Length: " + std::to_string(nLength) + "\r\nConnection: close\r\n\r\n";
    if (!SendAll(client, strHead)) return;
    const std::size_t nChunks = static_cast<std::size_t>(std::max(m_script.nChunks, 1));
    const std::size_t nChunkSize = (m_script.strBody.size() + nChunks - 1) / nChunks;
    for (std::size_t i = 0; i * nChunkSize < m_script.strBody.size(); ++i) {
      if (i > 0) std::this_thread::sleep_for(m_script.chunkPause);
      if (m_bStop || !SendAll(client, m_script.strBody.substr(i * nChunkSize, nChunkSize))) return;
    }
    if (!m_script.bHoldOpen) shutdown(client, 1);
  }

  static bool SendAll(SOCKET client, const std::string& strData) {
    std::size_t nSent = 0;
    while (nSent < strData.size()) {
      const int n = send(client, strData.data() + nSent, static_cast<int>(strData.size() - nSent), 0);
      if (n <= 0) return false;
      nSent += static_cast<std::size_t>(n);
    }
    return true;
  }

  static bool ReadRequest(SOCKET client) {
    std::string strHead;
    char buffer[1024];
    while (strHead.find("\r\n\r\n") == std::string::npos) {
      const int nRead = recv(client, buffer, sizeof(buffer), 0);
      if (nRead <= 0) return false;
      strHead.append(buffer, static_cast<std::size_t>(nRead));
    }
    return true;
  }

  PeerScript m_script;
  SOCKET m_listen = INVALID_SOCKET;
  unsigned short m_nPort = 0;
  std::atomic<bool> m_bStop{false};
  std::atomic<int> m_nRequests{0};
  std::mutex m_csClients;
  std::vector<SOCKET> m_clients;
  std::thread m_thread;
};

// A port that was just free: nobody listens on it.
unsigned short ClosedPort() {
  LoopbackPeer peer(PeerScript{});
  return peer.Port();
}

// A listener that never accepts, with its queue already full: the system
// answers a further connect with silence, like a host that drops it.
class FullListener {
public:
  FullListener() {
    m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int nLength = sizeof(addr);
    if (m_listen == INVALID_SOCKET || bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(m_listen, 0) != 0 || getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &nLength) != 0) {
      return;
    }
    m_nPort = ntohs(addr.sin_port);
    for (int i = 0; i < 64 && !m_bFull; ++i) {
      const SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      if (filler == INVALID_SOCKET) return;
      m_fillers.push_back(filler);
      u_long nNonBlocking = 1;
      ioctlsocket(filler, FIONBIO, &nNonBlocking);
      connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(filler, &writable);
      timeval tv{0, 300000};
      m_bFull = select(0, nullptr, &writable, nullptr, &tv) == 0;
    }
  }
  ~FullListener() {
    for (SOCKET s : m_fillers) closesocket(s);
    if (m_listen != INVALID_SOCKET) closesocket(m_listen);
  }
  bool Full() const { return m_bFull; }
  unsigned short Port() const { return m_nPort; }

private:
  SOCKET m_listen = INVALID_SOCKET;
  std::vector<SOCKET> m_fillers;
  unsigned short m_nPort = 0;
  bool m_bFull = false;
};

struct Report {
  unsigned long ulProgress;
  unsigned long ulProgressMax;
  unsigned long ulStatusCode;
};

class RecordingSink : public platform::IProgressSink {
public:
  void OnProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode) override {
    std::lock_guard<std::mutex> lock(m_csReports);
    m_reports.push_back({ulProgress, ulProgressMax, ulStatusCode});
  }
  std::vector<Report> Reports() {
    std::lock_guard<std::mutex> lock(m_csReports);
    return m_reports;
  }

private:
  std::mutex m_csReports;
  std::vector<Report> m_reports;
};

// Asks to stop from a set time on; the transfer asks from its own threads.
class StoppingSink : public platform::IProgressSink {
public:
  explicit StoppingSink(Clock::time_point tStop) : m_tStop(tStop) {}
  void OnProgress(unsigned long, unsigned long, unsigned long) override {}
  bool IsStopRequested() override { return Clock::now() >= m_tStop; }

private:
  const Clock::time_point m_tStop;
};

bool CacheHoldsEntry(const std::wstring& strUrl) {
  DWORD nSize = 0;
  if (GetUrlCacheEntryInfoW(strUrl.c_str(), nullptr, &nSize)) return true;
  return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// The two system methods behind one face, for the tests that hold for both.
enum class Method { Cache, File };

struct Outcome {
  std::int32_t nResult;
  std::string strContent;  // of the file the method left the download in
  Clock::duration elapsed;
};

class Win32UrlTransferTest : public testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(m_winsock.Started()); }

  Outcome Transfer(Method method, const std::wstring& strUrl, const platform::TransferLimits& limits,
                   platform::IProgressSink* pSink = nullptr) {
    const Clock::time_point start = Clock::now();
    Outcome outcome{};
    std::wstring strPath;
    if (method == Method::Cache) {
      outcome.nResult = platform::FetchUrlToCache(strUrl, strPath, pSink, limits);
    } else {
      strPath = m_folder.Child(L"download.bin");
      outcome.nResult = platform::DownloadUrlToFile(strUrl, strPath, pSink, limits);
    }
    outcome.elapsed = Clock::now() - start;
    if (outcome.nResult == 0) outcome.strContent = ReadWholeFile(strPath);
    if (method == Method::Cache) platform::PurgeUrlCacheEntry(strUrl);
    return outcome;
  }

  WinsockSession m_winsock;
  CTempFolder m_folder;
};

const struct {
  const char* szName;
  Method method;
} kMethods[] = {{"URL cache", Method::Cache}, {"file download", Method::File}};

TEST_F(Win32UrlTransferTest, FetchGivesTheCachedFileAndPurgeDropsIt) {
  PeerScript script;
  script.strBody = "answer body";
  LoopbackPeer peer(script);
  ASSERT_NE(peer.Port(), 0);

  const struct {
    const char* szName;
    std::wstring strPath;
  } cases[] = {
      {"pointer file", L"/source0/clienturl.ini"},
      // A statistics request: no dot after the host's, and a long query.
      {"statistics request",
       L"/api/index?serviceCode=30003&dataType=103&extend=" + std::wstring(400, L'a')},
      {"short path without a dot", L"/api/index"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    const std::wstring strUrl = peer.Url(c.strPath);
    std::wstring strCachedFile;
    ASSERT_EQ(platform::FetchUrlToCache(strUrl, strCachedFile, nullptr, {0ms, 0ms, 10s}), 0);
    ASSERT_FALSE(strCachedFile.empty());
    EXPECT_EQ(ReadWholeFile(strCachedFile), "answer body");

    platform::PurgeUrlCacheEntry(strUrl);
    EXPECT_FALSE(platform::PathExists(strCachedFile));
    // A purge of an entry that is already gone is harmless.
    platform::PurgeUrlCacheEntry(strUrl);
  }
  EXPECT_EQ(peer.Requests(), 3);
}

TEST_F(Win32UrlTransferTest, DownloadReachesTheFileAndReportsProgress) {
  PeerScript script;
  script.strBody = std::string(200000, 'x');
  LoopbackPeer peer(script);
  ASSERT_NE(peer.Port(), 0);

  for (const auto& m : kMethods) {
    SCOPED_TRACE(m.szName);
    RecordingSink sink;
    const Outcome outcome = Transfer(m.method, peer.Url(L"/source0/TarnBattleClient.exe"), {10s, 10s, 0ms}, &sink);
    ASSERT_EQ(outcome.nResult, 0);
    EXPECT_TRUE(outcome.strContent == script.strBody) << outcome.strContent.size() << " bytes";

    const std::vector<Report> reports = sink.Reports();
    ASSERT_FALSE(reports.empty());
    bool bSawEnd = false;
    for (const Report& r : reports) {
      if (r.ulStatusCode == platform::kBindStatusEndDownloadData) {
        bSawEnd = true;
        EXPECT_EQ(r.ulProgress, script.strBody.size());
      }
    }
    EXPECT_TRUE(bSawEnd);
  }
}

TEST_F(Win32UrlTransferTest, HttpErrorAnswerIsAFailureAndLeavesNoFile) {
  const struct {
    const char* szStatus;
    std::int32_t nExpected;
  } cases[] = {
      {"404 Not Found", platform::kInetObjectNotFound},
      {"403 Forbidden", platform::kInetDownloadFailure},
      {"500 Internal Server Error", platform::kInetDownloadFailure},
      {"503 Service Unavailable", platform::kInetDownloadFailure},
  };
  for (const auto& c : cases) {
    PeerScript script;
    script.strStatus = c.szStatus;
    script.strBody = "<html>error page</html>";
    LoopbackPeer peer(script);
    ASSERT_NE(peer.Port(), 0);
    const std::wstring strUrl = peer.Url(L"/source0/ashfallbattle_last.exe");

    for (const auto& m : kMethods) {
      SCOPED_TRACE(std::string(c.szStatus) + ", " + m.szName);
      if (m.method == Method::Cache) {
        std::wstring strCachedFile = L"untouched";
        EXPECT_EQ(platform::FetchUrlToCache(strUrl, strCachedFile, nullptr, {10s, 10s, 0ms}), c.nExpected);
        EXPECT_EQ(strCachedFile, L"untouched");
        // The error page must not be served from the cache next time.
        EXPECT_FALSE(CacheHoldsEntry(strUrl));
      } else {
        const std::wstring strPath = m_folder.Child(L"error.exe");
        EXPECT_EQ(platform::DownloadUrlToFile(strUrl, strPath, nullptr, {10s, 10s, 0ms}), c.nExpected);
        EXPECT_FALSE(platform::PathExists(strPath));
      }
    }
    EXPECT_EQ(peer.Requests(), 2);
  }
}

TEST_F(Win32UrlTransferTest, QuietPeerIsCutOffAtTheLimit) {
  PeerScript silentScript;
  silentScript.strStatus.clear();
  LoopbackPeer silent(silentScript);
  PeerScript stopsScript;
  stopsScript.strBody = std::string(1000, 'x');
  stopsScript.nDeclaredLength = 100000;
  stopsScript.bHoldOpen = true;
  LoopbackPeer stopsInTheBody(stopsScript);
  FullListener neverConnects;
  ASSERT_NE(silent.Port(), 0);
  ASSERT_NE(stopsInTheBody.Port(), 0);
  ASSERT_TRUE(neverConnects.Full()) << "could not fill the listen queue";

  const struct {
    const char* szName;
    unsigned short nPort;
    platform::TransferLimits limits;
    std::chrono::milliseconds expected;
  } cases[] = {
      {"connection never stands, connect limit", neverConnects.Port(), {1000ms, 10s, 0ms}, 1000ms},
      {"no answer, stall limit", silent.Port(), {10s, 1000ms, 0ms}, 1000ms},
      {"no answer, total limit", silent.Port(), {0ms, 0ms, 1000ms}, 1000ms},
      {"body stops, stall limit", stopsInTheBody.Port(), {10s, 1000ms, 0ms}, 1000ms},
      {"body stops, total limit", stopsInTheBody.Port(), {0ms, 0ms, 1000ms}, 1000ms},
  };
  for (const auto& c : cases) {
    const std::wstring strUrl = L"http://127.0.0.1:" + std::to_wstring(c.nPort) + L"/source1/TarnBattleClient.exe";
    for (const auto& m : kMethods) {
      SCOPED_TRACE(std::string(c.szName) + ", " + m.szName);
      const Outcome outcome = Transfer(m.method, strUrl, c.limits);
      EXPECT_EQ(outcome.nResult, platform::kInetTimeout);
      EXPECT_GE(outcome.elapsed, c.expected - 100ms);
      EXPECT_LT(outcome.elapsed, c.expected + 3s);
    }
  }
}

TEST_F(Win32UrlTransferTest, StopAbortsTheBinding) {
  PeerScript silentScript;
  silentScript.strStatus.clear();
  PeerScript stopsScript;
  stopsScript.strBody = std::string(1000, 'x');
  stopsScript.nDeclaredLength = 100000;
  stopsScript.bHoldOpen = true;
  // Bytes keep coming, so neither limit would end it for a minute.
  PeerScript tricklesScript;
  tricklesScript.strBody = std::string(60000, 't');
  tricklesScript.nChunks = 600;
  tricklesScript.chunkPause = 100ms;

  const struct {
    const char* szName;
    const PeerScript& script;
  } cases[] = {
      {"no answer", silentScript},
      {"body stops", stopsScript},
      {"body trickles", tricklesScript},
  };
  for (const auto& c : cases) {
    for (const auto& m : kMethods) {
      SCOPED_TRACE(std::string(c.szName) + ", " + m.szName);
      // A peer of its own: one that trickles serves nobody else meanwhile.
      LoopbackPeer peer(c.script);
      ASSERT_NE(peer.Port(), 0);
      const Clock::time_point tStop = Clock::now() + 500ms;
      StoppingSink sink(tStop);
      const Outcome outcome = Transfer(m.method, peer.Url(L"/source0/TarnBattleClient.exe"), {30s, 30s, 0ms}, &sink);
      const Clock::time_point tReturned = Clock::now();
      EXPECT_EQ(outcome.nResult, platform::kTransferAborted);
      EXPECT_GE(tReturned, tStop);
      EXPECT_LT(tReturned - tStop, 2s);
      // A stopped binding is not tried again.
      EXPECT_EQ(peer.Requests(), 1);
    }
  }
}

TEST_F(Win32UrlTransferTest, StallLimitCountsFromTheLastProgress) {
  // Each piece comes well within the stall limit; the whole body takes longer.
  PeerScript script;
  script.strBody = std::string(60000, 'y');
  script.nChunks = 5;
  script.chunkPause = 500ms;
  LoopbackPeer peer(script);
  ASSERT_NE(peer.Port(), 0);

  for (const auto& m : kMethods) {
    SCOPED_TRACE(m.szName);
    const Outcome outcome = Transfer(m.method, peer.Url(L"/source2/TarnBattleClient.exe"), {1200ms, 1200ms, 0ms});
    ASSERT_EQ(outcome.nResult, 0);
    EXPECT_GE(outcome.elapsed, 2s);
    EXPECT_TRUE(outcome.strContent == script.strBody) << outcome.strContent.size() << " bytes";
  }
}

TEST_F(Win32UrlTransferTest, FailuresComeBackAsStatusWithoutAPath) {
  const unsigned short nClosedPort = ClosedPort();
  ASSERT_NE(nClosedPort, 0);

  const struct {
    const char* szName;
    std::wstring strUrl;
  } cases[] = {
      {"connection refused", L"http://127.0.0.1:" + std::to_wstring(nClosedPort) + L"/x"},
      // The shape of a statistics request: some caches choke on the long tail
      // behind the host's last dot.
      {"long query behind a dotted host", L"http://127.0.0.1:" + std::to_wstring(nClosedPort) +
                                              L"/api/index?serviceCode=30003&t=" +
                                              std::wstring(400, L'a')},
      {"not a URL", L"::not a url::"},
      {"empty", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    std::wstring strCachedFile = L"untouched";
    const std::int32_t nResult = platform::FetchUrlToCache(c.strUrl, strCachedFile, nullptr, {10s, 10s, 10s});
    EXPECT_NE(nResult, 0);
    EXPECT_NE(nResult, platform::kInetTimeout);
    EXPECT_EQ(strCachedFile, L"untouched");

    const std::wstring strPath = m_folder.Child(L"never.exe");
    const std::int32_t nFileResult = platform::DownloadUrlToFile(c.strUrl, strPath, nullptr, {10s, 10s, 0ms});
    EXPECT_NE(nFileResult, 0);
    EXPECT_NE(nFileResult, platform::kInetTimeout);
  }
}

}  // namespace

#endif  // _WIN32
