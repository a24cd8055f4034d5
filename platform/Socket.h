// One TCP client connection over IPv4 (Winsock 1.1 on Windows, BSD sockets
// on Linux), with every wait bounded. Failures leave the system's last error
// set, so callers can add GetLastErrorText to their messages. Every wait can
// be given up from outside: with a stop question it runs in slices of at most
// kStopPollInterval and fails with StoppedErrorCode() once the question says
// yes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ProgressSink.h"

namespace platform {

// The network stack for the length of one transfer (WSAStartup 1.1 on
// Windows; nothing to do on Linux).
class CNetworkSession {
public:
  CNetworkSession();
  ~CNetworkSession();
  CNetworkSession(const CNetworkSession&) = delete;
  CNetworkSession& operator=(const CNetworkSession&) = delete;

  int StartError() const { return m_nStartError; }  // 0 when started
  bool VersionSupported() const { return m_bVersionSupported; }

private:
  int m_nStartError = 0;
  bool m_bVersionSupported = true;
};

// The value of a dotted IPv4 address (network byte order); false for
// anything else. It asks nobody, so it never waits.
bool ParseAddressLiteral(const std::string& strHost, std::uint32_t& nAddress);

// The host's first IPv4 address (network byte order): a dotted address is
// taken as it is, an empty name fails at once, any other name is asked of the
// system's resolver, which may wait as long as it likes. ResolveHost
// (HostLookup.h) bounds that wait.
bool ResolveHostBlocking(const std::string& strHost, std::uint32_t& nAddress);

// The system's code for a network wait that ran out of time (ETIMEDOUT,
// WSAETIMEDOUT), for SetLastErrorCode.
unsigned long TimedOutErrorCode();
// The system's code for a wait given up on request (ECANCELED, WSAECANCELLED).
unsigned long StoppedErrorCode();

class CTcpConnection {
public:
  CTcpConnection() = default;
  ~CTcpConnection();
  CTcpConnection(const CTcpConnection&) = delete;
  CTcpConnection& operator=(const CTcpConnection&) = delete;

  bool Open();
  bool Connect(std::uint32_t nAddress, std::uint16_t nPort, std::chrono::milliseconds timeout,
               const StopCheck& fnStop = StopCheck());
  // Sends all bytes or fails.
  bool Send(const char* pData, std::size_t nLength, std::chrono::milliseconds timeout,
            const StopCheck& fnStop = StopCheck());
  // Bytes received (> 0), 0 when the peer closed, -1 on an error, when
  // nothing arrived within the time-out or when the wait was stopped.
  long Receive(char* pBuffer, std::size_t nLength, std::chrono::milliseconds timeout,
               const StopCheck& fnStop = StopCheck());
  // Waits until there is something to receive (or the peer closed).
  bool WaitReadable(std::chrono::milliseconds timeout, const StopCheck& fnStop = StopCheck());
  void Close();
  std::intptr_t NativeHandle() const { return m_nSocket; }

private:
  std::intptr_t m_nSocket = -1;
};

}  // namespace platform
