// The Winsock connection against loopback peers: every wait ends within its
// time-out, or within moments of a stop, a refused connect ends at once, and
// each failure leaves the error that the download's message text is made
// from.
#ifdef _WIN32

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "platform/SystemError.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::uint32_t kLoopback = htonl(INADDR_LOOPBACK);

class Socket {
public:
  Socket() : m_s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
  ~Socket() {
    if (m_s != INVALID_SOCKET) closesocket(m_s);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  SOCKET Get() const { return m_s; }

private:
  SOCKET m_s;
};

// A listening socket on 127.0.0.1 and an ephemeral port.
class Listener {
public:
  explicit Listener(int nBacklog) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = kLoopback;
    int nLength = sizeof(addr);
    if (m_socket.Get() == INVALID_SOCKET || bind(m_socket.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(m_socket.Get(), nBacklog) != 0 ||
        getsockname(m_socket.Get(), reinterpret_cast<sockaddr*>(&addr), &nLength) != 0) {
      return;
    }
    m_nPort = ntohs(addr.sin_port);
  }
  SOCKET Get() const { return m_socket.Get(); }
  std::uint16_t Port() const { return m_nPort; }

private:
  Socket m_socket;
  std::uint16_t m_nPort = 0;
};

// Accepts every connection. A silent peer then neither reads nor writes; an
// echoing one sends back what it reads and closes after a line end.
class Peer {
public:
  enum class Mode { Silent, Echo };

  explicit Peer(Mode mode) : m_mode(mode), m_listener(8) {
    if (m_listener.Port() != 0) m_thread = std::thread([this] { Serve(); });
  }
  ~Peer() {
    closesocket(m_listener.Get());
    {
      std::lock_guard<std::mutex> lock(m_csClients);
      for (SOCKET s : m_clients) shutdown(s, 2);
    }
    if (m_thread.joinable()) m_thread.join();
    for (SOCKET s : m_clients) closesocket(s);
  }
  std::uint16_t Port() const { return m_listener.Port(); }

private:
  void Serve() {
    for (;;) {
      SOCKET client = accept(m_listener.Get(), nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      {
        std::lock_guard<std::mutex> lock(m_csClients);
        m_clients.push_back(client);
      }
      if (m_mode == Mode::Silent) continue;
      char buffer[4096];
      int nRead = 0;
      while ((nRead = recv(client, buffer, sizeof(buffer), 0)) > 0) {
        if (send(client, buffer, nRead, 0) != nRead || buffer[nRead - 1] == '\n') break;
      }
      shutdown(client, 1);
    }
  }

  Mode m_mode;
  Listener m_listener;
  std::mutex m_csClients;
  std::vector<SOCKET> m_clients;
  std::thread m_thread;
};

// A listener that never accepts, with its queue already full: the system
// answers a further connect with silence, like a host that drops it.
class FullListener {
public:
  FullListener() : m_listener(0) {
    if (m_listener.Port() == 0) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = kLoopback;
    addr.sin_port = htons(m_listener.Port());
    for (int i = 0; i < 64 && !m_bFull; ++i) {
      auto pFiller = std::make_unique<Socket>();
      u_long nNonBlocking = 1;
      ioctlsocket(pFiller->Get(), FIONBIO, &nNonBlocking);
      connect(pFiller->Get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(pFiller->Get(), &writable);
      timeval tv{0, 300000};
      m_bFull = select(0, nullptr, &writable, nullptr, &tv) == 0;
      m_fillers.push_back(std::move(pFiller));
    }
  }
  bool Full() const { return m_bFull; }
  std::uint16_t Port() const { return m_listener.Port(); }

private:
  Listener m_listener;
  std::vector<std::unique_ptr<Socket>> m_fillers;
  bool m_bFull = false;
};

class Win32SocketTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(m_session.StartError(), 0);
    ASSERT_TRUE(m_session.VersionSupported());
  }

  platform::CNetworkSession m_session;
};

TEST_F(Win32SocketTest, ResolvesAddressesAndNames) {
  const struct {
    const char* szHost;
    bool bResolves;
  } cases[] = {
      {"127.0.0.1", true},  // taken as it is, like the third download source
      {"localhost", true},
      {"", false},  // would otherwise name this machine
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szHost);
    std::uint32_t nAddress = 0;
    ASSERT_EQ(platform::ResolveHostBlocking(c.szHost, nAddress), c.bResolves);
    if (c.bResolves) {
      EXPECT_EQ(nAddress, kLoopback);
    } else {
      EXPECT_NE(platform::GetLastErrorCode(), 0u);
    }
  }
}

TEST_F(Win32SocketTest, SendsAndReceivesUntilThePeerCloses) {
  Peer peer(Peer::Mode::Echo);
  ASSERT_NE(peer.Port(), 0);
  platform::CTcpConnection connection;
  ASSERT_TRUE(connection.Open());
  ASSERT_TRUE(connection.Connect(kLoopback, peer.Port(), 5s));

  // More than one send's worth, so the data goes out in pieces.
  std::string strSent(20000, '\0');
  for (std::size_t i = 0; i < strSent.size(); ++i) strSent[i] = static_cast<char>('a' + i % 26);
  strSent += '\n';
  ASSERT_TRUE(connection.Send(strSent.data(), strSent.size(), 5s));

  std::string strReceived;
  char buffer[1000];
  long nRead = 0;
  while ((nRead = connection.Receive(buffer, sizeof(buffer), 5s)) > 0) {
    strReceived.append(buffer, static_cast<std::size_t>(nRead));
  }
  EXPECT_EQ(nRead, 0);  // the peer closed
  EXPECT_TRUE(strReceived == strSent) << strReceived.size() << " bytes";

  connection.Close();
  EXPECT_FALSE(connection.Send("x", 1, 1s));
}

TEST_F(Win32SocketTest, ClosedPortFailsFast) {
  std::uint16_t nClosedPort = 0;
  {
    Listener listener(1);
    nClosedPort = listener.Port();
  }
  ASSERT_NE(nClosedPort, 0);

  platform::CTcpConnection connection;
  ASSERT_TRUE(connection.Open());
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(connection.Connect(kLoopback, nClosedPort, 20s));
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_EQ(platform::GetLastErrorCode(), static_cast<unsigned long>(WSAECONNREFUSED));
}

TEST_F(Win32SocketTest, WaitsEndAtTheirTimeOut) {
  Peer silent(Peer::Mode::Silent);
  ASSERT_NE(silent.Port(), 0);
  FullListener full;
  ASSERT_TRUE(full.Full()) << "could not fill the listen queue";

  // Large enough to fill every buffer between the client and a peer that never reads.
  const std::string strFlood(64 * 1024 * 1024, 'f');
  const struct {
    const char* szStage;
    std::uint16_t nPort;
  } cases[] = {
      {"connect to a host that never answers", full.Port()},
      {"receive from a peer that never sends", silent.Port()},
      {"send to a peer that never reads", silent.Port()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szStage);
    platform::CTcpConnection connection;
    ASSERT_TRUE(connection.Open());
    const std::string strStage = c.szStage;
    const Clock::time_point start = Clock::now();
    if (strStage.rfind("connect", 0) == 0) {
      EXPECT_FALSE(connection.Connect(kLoopback, c.nPort, 800ms));
    } else {
      ASSERT_TRUE(connection.Connect(kLoopback, c.nPort, 5s));
      if (strStage.rfind("receive", 0) == 0) {
        char buffer[64];
        EXPECT_EQ(connection.Receive(buffer, sizeof(buffer), 800ms), -1);
      } else {
        EXPECT_FALSE(connection.Send(strFlood.data(), strFlood.size(), 800ms));
      }
    }
    const Clock::duration elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 700ms);
    EXPECT_LT(elapsed, 3s);
    // The stage's message text is made from this code.
    EXPECT_EQ(platform::GetLastErrorCode(), static_cast<unsigned long>(WSAETIMEDOUT));
  }
}

TEST_F(Win32SocketTest, WaitsEndSoonAfterAStop) {
  Peer silent(Peer::Mode::Silent);
  ASSERT_NE(silent.Port(), 0);
  FullListener full;
  ASSERT_TRUE(full.Full()) << "could not fill the listen queue";

  const std::string strFlood(64 * 1024 * 1024, 'f');
  enum class Stage { Connect, Receive, WaitReadable, Send };
  const struct {
    const char* szStage;
    Stage stage;
    std::uint16_t nPort;
  } cases[] = {
      {"connect to a host that never answers", Stage::Connect, full.Port()},
      {"receive from a peer that never sends", Stage::Receive, silent.Port()},
      {"wait for bytes from a peer that never sends", Stage::WaitReadable, silent.Port()},
      {"send to a peer that never reads", Stage::Send, silent.Port()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szStage);
    platform::CTcpConnection connection;
    ASSERT_TRUE(connection.Open());
    if (c.stage != Stage::Connect) ASSERT_TRUE(connection.Connect(kLoopback, c.nPort, 5s));
    // Each wait would run 30 s; the stop comes after 300 ms.
    const Clock::time_point tStop = Clock::now() + 300ms;
    const platform::StopCheck fnStop = [tStop] { return Clock::now() >= tStop; };
    char buffer[64];
    bool bSucceeded = true;
    switch (c.stage) {
      case Stage::Connect: bSucceeded = connection.Connect(kLoopback, c.nPort, 30s, fnStop); break;
      case Stage::Receive: bSucceeded = connection.Receive(buffer, sizeof(buffer), 30s, fnStop) >= 0; break;
      case Stage::WaitReadable: bSucceeded = connection.WaitReadable(30s, fnStop); break;
      case Stage::Send: bSucceeded = connection.Send(strFlood.data(), strFlood.size(), 30s, fnStop); break;
    }
    const Clock::time_point tReturned = Clock::now();
    EXPECT_FALSE(bSucceeded);
    EXPECT_GE(tReturned, tStop);
    EXPECT_LT(tReturned - tStop, 2s);
    EXPECT_EQ(platform::GetLastErrorCode(), platform::StoppedErrorCode());
  }
}

TEST_F(Win32SocketTest, MisuseFailsWithoutHarm) {
  char buffer[16];
  platform::CTcpConnection unopened;
  EXPECT_FALSE(unopened.Connect(kLoopback, 1, 100ms));
  EXPECT_FALSE(unopened.Send("x", 1, 100ms));
  EXPECT_EQ(unopened.Receive(buffer, sizeof(buffer), 100ms), -1);
  unopened.Close();

  Peer peer(Peer::Mode::Echo);
  ASSERT_NE(peer.Port(), 0);
  platform::CTcpConnection connection;
  ASSERT_TRUE(connection.Open());
  ASSERT_TRUE(connection.Connect(kLoopback, peer.Port(), 5s));
  // A zero-length read must not pass for a closed peer.
  EXPECT_EQ(connection.Receive(buffer, 0, 100ms), -1);
  EXPECT_EQ(connection.Receive(nullptr, 16, 100ms), -1);
  EXPECT_TRUE(connection.Send(nullptr, 0, 100ms));
}

}  // namespace

#endif  // _WIN32
