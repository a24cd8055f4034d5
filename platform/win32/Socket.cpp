#include "platform/Socket.h"

#include <winsock.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/SlicedWait.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr WORD kWinsockVersion = 0x0101;
// Each send is kept this small: a blocking send that the socket reported
// writable then finds room for all of it and does not wait on the peer.
constexpr std::size_t kSendChunk = 4096;

// Winsock's error is the thread's last error; it is set again explicitly so
// GetLastErrorText reads what the failing call left, not a later cleanup.
bool Fail(int nError) {
  SetLastError(static_cast<DWORD>(nError));
  return false;
}

// Keeps the last error across cleanup calls made after a failure.
class CKeepLastError {
public:
  CKeepLastError() : m_nError(GetLastError()) {}
  ~CKeepLastError() { SetLastError(m_nError); }
  CKeepLastError(const CKeepLastError&) = delete;
  CKeepLastError& operator=(const CKeepLastError&) = delete;

private:
  DWORD m_nError;
};

timeval ToTimeval(std::chrono::milliseconds timeout) {
  timeout = std::clamp(timeout, std::chrono::milliseconds::zero(), kLongestWait);
  timeval tv{};
  tv.tv_sec = static_cast<long>(timeout.count() / 1000);
  tv.tv_usec = static_cast<long>(timeout.count() % 1000 * 1000);
  return tv;
}

// Rounded up: a wait for it never ends before the deadline.
std::chrono::milliseconds Remaining(Clock::time_point deadline) {
  const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return std::max(remaining, std::chrono::milliseconds::zero());
}

// Waits in slices until select finds the socket in one of the sets; the
// sets are made afresh for each slice, as select changes them. 0 when it
// did, else the Winsock error (WSAETIMEDOUT, WSAECANCELLED on a stop).
int WaitSelect(SOCKET s, bool bRead, bool bWrite, bool bFailed, std::chrono::milliseconds timeout,
               const StopCheck& fnStop, fd_set& readable, fd_set& writable, fd_set& failed) {
  int nError = 0;
  const WaitOutcome outcome = WaitInSlices(timeout, fnStop, [&](std::chrono::milliseconds slice) {
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (bRead) FD_SET(s, &readable);
    if (bWrite) FD_SET(s, &writable);
    if (bFailed) FD_SET(s, &failed);
    timeval tv = ToTimeval(slice);
    const int nReady = select(0, &readable, &writable, &failed, &tv);
    if (nReady == SOCKET_ERROR) {
      nError = WSAGetLastError();
      return -1;
    }
    return nReady > 0 ? 1 : 0;
  });
  switch (outcome) {
    case WaitOutcome::kReady: return 0;
    case WaitOutcome::kTimedOut: return WSAETIMEDOUT;
    case WaitOutcome::kStopped: return WSAECANCELLED;
    case WaitOutcome::kFailed: return nError;
  }
  return nError;
}

// Waits until the socket can be read (or written): true when it can, else
// false with the reason as the last error.
bool WaitReady(SOCKET s, bool bWrite, std::chrono::milliseconds timeout, const StopCheck& fnStop) {
  fd_set readable;
  fd_set writable;
  fd_set failed;
  const int nError = WaitSelect(s, !bWrite, bWrite, false, timeout, fnStop, readable, writable, failed);
  return nError == 0 ? true : Fail(nError);
}

// The end of a connect started on a non-blocking socket: 0 when it stands,
// else the Winsock error.
int FinishConnect(SOCKET s, std::chrono::milliseconds timeout, const StopCheck& fnStop) {
  fd_set readable;
  fd_set writable;
  fd_set failed;
  const int nWaitError = WaitSelect(s, false, true, true, timeout, fnStop, readable, writable, failed);
  if (nWaitError != 0) return nWaitError;
  // A refused connect shows in the exception set, with its reason in SO_ERROR.
  int nError = 0;
  int nLength = sizeof(nError);
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&nError), &nLength) == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  if (nError == 0 && FD_ISSET(s, &failed)) nError = WSAECONNREFUSED;
  return nError;
}

}  // namespace

CNetworkSession::CNetworkSession() {
  WSADATA data{};
  m_nStartError = WSAStartup(kWinsockVersion, &data);
  if (m_nStartError != 0) {
    // WSAStartup returns its error instead of setting it.
    Fail(m_nStartError);
    return;
  }
  m_bVersionSupported = LOBYTE(data.wVersion) == 1 && HIBYTE(data.wVersion) == 1;
}

CNetworkSession::~CNetworkSession() {
  if (m_nStartError != 0) return;
  CKeepLastError keep;
  WSACleanup();
}

bool ParseAddressLiteral(const std::string& strHost, std::uint32_t& nAddress) {
  // Older Winsock versions read an empty string as 0.0.0.0.
  if (strHost.empty()) return false;
  const unsigned long nLiteral = inet_addr(strHost.c_str());
  if (nLiteral == INADDR_NONE) return false;
  nAddress = static_cast<std::uint32_t>(nLiteral);
  return true;
}

bool ResolveHostBlocking(const std::string& strHost, std::uint32_t& nAddress) {
  // An empty name would be taken for this machine's own.
  if (strHost.empty()) return Fail(WSAHOST_NOT_FOUND);
  // A dotted address is the address: a reverse look-up of it would only add
  // a wait on the resolver.
  if (ParseAddressLiteral(strHost, nAddress)) return true;
  const hostent* pHost = gethostbyname(strHost.c_str());
  if (pHost == nullptr) return Fail(WSAGetLastError());
  if (pHost->h_addrtype != AF_INET || pHost->h_length != sizeof(nAddress) || pHost->h_addr_list == nullptr ||
      pHost->h_addr_list[0] == nullptr) {
    return Fail(WSANO_DATA);
  }
  std::memcpy(&nAddress, pHost->h_addr_list[0], sizeof(nAddress));
  return true;
}

unsigned long TimedOutErrorCode() {
  return WSAETIMEDOUT;
}

unsigned long StoppedErrorCode() {
  return WSAECANCELLED;
}

CTcpConnection::~CTcpConnection() {
  Close();
}

bool CTcpConnection::Open() {
  Close();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return Fail(WSAGetLastError());
  m_nSocket = static_cast<std::intptr_t>(s);
  return true;
}

bool CTcpConnection::Connect(std::uint32_t nAddress, std::uint16_t nPort, std::chrono::milliseconds timeout,
                             const StopCheck& fnStop) {
  if (m_nSocket == -1) return Fail(WSAENOTSOCK);
  const SOCKET s = static_cast<SOCKET>(m_nSocket);

  // Winsock's own connect can wait for minutes; a non-blocking one ends
  // when select says so.
  u_long nNonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nNonBlocking) == SOCKET_ERROR) return Fail(WSAGetLastError());

  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(nPort);
  addr.sin_addr.s_addr = nAddress;
  int nError = 0;
  if (connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == SOCKET_ERROR) {
    nError = WSAGetLastError();
    if (nError == WSAEWOULDBLOCK) nError = FinishConnect(s, timeout, fnStop);
  }

  // Send and Receive bound their waits with select and want blocking calls.
  u_long nBlocking = 0;
  if (ioctlsocket(s, FIONBIO, &nBlocking) == SOCKET_ERROR && nError == 0) nError = WSAGetLastError();
  return nError == 0 ? true : Fail(nError);
}

bool CTcpConnection::Send(const char* pData, std::size_t nLength, std::chrono::milliseconds timeout,
                          const StopCheck& fnStop) {
  if (m_nSocket == -1) return Fail(WSAENOTSOCK);
  if (pData == nullptr && nLength != 0) return Fail(WSAEFAULT);
  const SOCKET s = static_cast<SOCKET>(m_nSocket);
  const Clock::time_point deadline = Clock::now() + std::clamp(timeout, std::chrono::milliseconds::zero(), kLongestWait);
  std::size_t nSent = 0;
  while (nSent < nLength) {
    if (!WaitReady(s, true, Remaining(deadline), fnStop)) return false;
    const int nChunk = static_cast<int>(std::min(nLength - nSent, kSendChunk));
    const int nDone = send(s, pData + nSent, nChunk, 0);
    if (nDone == SOCKET_ERROR) return Fail(WSAGetLastError());
    nSent += static_cast<std::size_t>(nDone);
  }
  return true;
}

long CTcpConnection::Receive(char* pBuffer, std::size_t nLength, std::chrono::milliseconds timeout,
                             const StopCheck& fnStop) {
  if (m_nSocket == -1) {
    Fail(WSAENOTSOCK);
    return -1;
  }
  // A zero-length read would answer 0, which means the peer closed.
  if (pBuffer == nullptr || nLength == 0) {
    Fail(WSAEINVAL);
    return -1;
  }
  const SOCKET s = static_cast<SOCKET>(m_nSocket);
  if (!WaitReady(s, false, timeout, fnStop)) return -1;
  const int nRead = recv(s, pBuffer, static_cast<int>(std::min<std::size_t>(nLength, INT_MAX)), 0);
  if (nRead == SOCKET_ERROR) {
    Fail(WSAGetLastError());
    return -1;
  }
  return nRead;
}

bool CTcpConnection::WaitReadable(std::chrono::milliseconds timeout, const StopCheck& fnStop) {
  if (m_nSocket == -1) return Fail(WSAENOTSOCK);
  return WaitReady(static_cast<SOCKET>(m_nSocket), false, timeout, fnStop);
}

void CTcpConnection::Close() {
  if (m_nSocket == -1) return;
  // A close after a failure must not replace the failure's error text.
  CKeepLastError keep;
  closesocket(static_cast<SOCKET>(m_nSocket));
  m_nSocket = -1;
}

}  // namespace platform
