#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/SlicedWait.h"

namespace platform {

namespace {

int PollMs(std::chrono::milliseconds timeout) {
  return timeout.count() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(timeout.count());
}

// Waits until the socket is ready; false (errno set) on time-out, stop or
// error.
bool WaitFor(int nSocket, short nEvents, std::chrono::milliseconds timeout, const StopCheck& fnStop) {
  const WaitOutcome outcome = WaitInSlices(timeout, fnStop, [&](std::chrono::milliseconds slice) {
    pollfd entry{nSocket, nEvents, 0};
    const int nReady = ::poll(&entry, 1, PollMs(slice));
    if (nReady > 0) return 1;
    return nReady == 0 || errno == EINTR ? 0 : -1;
  });
  switch (outcome) {
    case WaitOutcome::kReady: return true;
    case WaitOutcome::kTimedOut: errno = ETIMEDOUT; return false;
    case WaitOutcome::kStopped: errno = ECANCELED; return false;
    case WaitOutcome::kFailed: return false;  // poll's own errno
  }
  return false;
}

}  // namespace

CNetworkSession::CNetworkSession() = default;
CNetworkSession::~CNetworkSession() = default;

bool ParseAddressLiteral(const std::string& strHost, std::uint32_t& nAddress) {
  in_addr literal{};
  if (::inet_pton(AF_INET, strHost.c_str(), &literal) != 1) return false;
  nAddress = literal.s_addr;
  return true;
}

bool ResolveHostBlocking(const std::string& strHost, std::uint32_t& nAddress) {
  if (ParseAddressLiteral(strHost, nAddress)) return true;
  // An empty name is no host; the resolver is not asked about it.
  if (strHost.empty()) {
    errno = EHOSTUNREACH;
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* pResult = nullptr;
  const int nError = ::getaddrinfo(strHost.c_str(), nullptr, &hints, &pResult);
  if (nError != 0 || pResult == nullptr) {
    errno = nError == EAI_SYSTEM ? errno : EHOSTUNREACH;
    return false;
  }
  nAddress = reinterpret_cast<const sockaddr_in*>(pResult->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(pResult);
  return true;
}

unsigned long TimedOutErrorCode() { return ETIMEDOUT; }

unsigned long StoppedErrorCode() { return ECANCELED; }

CTcpConnection::~CTcpConnection() { Close(); }

bool CTcpConnection::Open() {
  Close();
  m_nSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return m_nSocket >= 0;
}

bool CTcpConnection::Connect(std::uint32_t nAddress, std::uint16_t nPort, std::chrono::milliseconds timeout,
                             const StopCheck& fnStop) {
  const int nSocket = static_cast<int>(m_nSocket);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(nPort);
  address.sin_addr.s_addr = nAddress;
  // Non-blocking for the connect alone, so that its wait is bounded.
  const int nFlags = ::fcntl(nSocket, F_GETFL);
  if (nFlags < 0 || ::fcntl(nSocket, F_SETFL, nFlags | O_NONBLOCK) != 0) return false;
  if (::connect(nSocket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    if (errno != EINPROGRESS || !WaitFor(nSocket, POLLOUT, timeout, fnStop)) return false;
    int nError = 0;
    socklen_t nLength = sizeof(nError);
    if (::getsockopt(nSocket, SOL_SOCKET, SO_ERROR, &nError, &nLength) != 0) return false;
    if (nError != 0) {
      errno = nError;
      return false;
    }
  }
  return ::fcntl(nSocket, F_SETFL, nFlags) == 0;
}

bool CTcpConnection::Send(const char* pData, std::size_t nLength, std::chrono::milliseconds timeout,
                          const StopCheck& fnStop) {
  const int nSocket = static_cast<int>(m_nSocket);
  while (nLength > 0) {
    if (!WaitFor(nSocket, POLLOUT, timeout, fnStop)) return false;
    const ssize_t nSent = ::send(nSocket, pData, nLength, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (nSent < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    pData += nSent;
    nLength -= static_cast<std::size_t>(nSent);
  }
  return true;
}

long CTcpConnection::Receive(char* pBuffer, std::size_t nLength, std::chrono::milliseconds timeout,
                             const StopCheck& fnStop) {
  const int nSocket = static_cast<int>(m_nSocket);
  for (;;) {
    // Data that is already there is taken without waiting.
    const ssize_t nReceived = ::recv(nSocket, pBuffer, nLength, MSG_DONTWAIT);
    if (nReceived >= 0) return static_cast<long>(nReceived);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (!WaitFor(nSocket, POLLIN, timeout, fnStop)) return -1;
  }
}

bool CTcpConnection::WaitReadable(std::chrono::milliseconds timeout, const StopCheck& fnStop) {
  return WaitFor(static_cast<int>(m_nSocket), POLLIN, timeout, fnStop);
}

void CTcpConnection::Close() {
  if (m_nSocket >= 0) ::close(static_cast<int>(m_nSocket));
  m_nSocket = -1;
}

}  // namespace platform
