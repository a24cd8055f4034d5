// The Win32 URL cache against a loopback peer: the time limit holds even when
// the peer never answers, and a purge really drops the cached file.
#ifdef _WIN32

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/UrlCache.h"

namespace {

using namespace std::chrono_literals;

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

// One HTTP peer on 127.0.0.1: it either answers every request with the body
// or reads the request and then says nothing until it is stopped.
class LoopbackPeer {
public:
  enum class Mode { Answer, Stall };

  LoopbackPeer(Mode mode, std::string strBody) : m_mode(mode), m_strBody(std::move(strBody)) {
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
      if (m_mode == Mode::Stall) continue;  // held open, never answered
      const std::string strAnswer = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                    "Content-Length: " + std::to_string(m_strBody.size()) +
                                    "\r\nConnection: close\r\n\r\n" + m_strBody;
      send(client, strAnswer.data(), static_cast<int>(strAnswer.size()), 0);
      shutdown(client, 1);
    }
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

  Mode m_mode;
  std::string m_strBody;
  SOCKET m_listen = INVALID_SOCKET;
  unsigned short m_nPort = 0;
  std::atomic<bool> m_bStop{false};
  std::atomic<int> m_nRequests{0};
  std::mutex m_csClients;
  std::vector<SOCKET> m_clients;
  std::thread m_thread;
};

std::string ReadWholeFile(const std::wstring& strPath) {
  std::ifstream in(strPath.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Win32UrlCacheTest : public testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(m_winsock.Started()); }
  WinsockSession m_winsock;
};

TEST_F(Win32UrlCacheTest, FetchGivesTheCachedFileAndPurgeDropsIt) {
  LoopbackPeer peer(LoopbackPeer::Mode::Answer, "answer body");
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
    ASSERT_EQ(platform::FetchUrlToCache(strUrl, strCachedFile, 10s), 0);
    ASSERT_FALSE(strCachedFile.empty());
    EXPECT_EQ(ReadWholeFile(strCachedFile), "answer body");

    platform::PurgeUrlCacheEntry(strUrl);
    EXPECT_FALSE(platform::PathExists(strCachedFile));
    // A purge of an entry that is already gone is harmless.
    platform::PurgeUrlCacheEntry(strUrl);
  }
  EXPECT_EQ(peer.Requests(), 3);
}

TEST_F(Win32UrlCacheTest, SilentPeerIsCutOffAtTheTimeLimit) {
  LoopbackPeer peer(LoopbackPeer::Mode::Stall, "");
  ASSERT_NE(peer.Port(), 0);

  std::wstring strCachedFile = L"untouched";
  const auto start = std::chrono::steady_clock::now();
  const std::int32_t nResult =
      platform::FetchUrlToCache(peer.Url(L"/source1/clienturl.ini"), strCachedFile, 1500ms);
  const auto elapsed = std::chrono::steady_clock::now() - start;

  EXPECT_EQ(nResult, platform::kInetTimeout);
  EXPECT_GE(elapsed, 1400ms);
  EXPECT_LT(elapsed, 5s);
  EXPECT_EQ(strCachedFile, L"untouched");
}

TEST_F(Win32UrlCacheTest, FailuresComeBackAsStatusWithoutAPath) {
  // A port that was just free: nobody listens on it.
  unsigned short nClosedPort = 0;
  {
    LoopbackPeer peer(LoopbackPeer::Mode::Answer, "");
    nClosedPort = peer.Port();
  }
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
    const std::int32_t nResult = platform::FetchUrlToCache(c.strUrl, strCachedFile, 10s);
    EXPECT_NE(nResult, 0);
    EXPECT_NE(nResult, platform::kInetTimeout);
    EXPECT_EQ(strCachedFile, L"untouched");
  }
}

}  // namespace

#endif  // _WIN32
