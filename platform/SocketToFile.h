// Moves body bytes from a connection into a file as cheaply as the system
// allows: on Linux through a pipe with splice (no copy through this
// process), elsewhere through one reusable buffer.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include "platform/OutputFile.h"
#include "platform/Socket.h"

namespace platform {

enum class MoveResult {
  kMoved,          // some bytes reached the file
  kPeerClosed,     // the peer closed the connection
  kReceiveFailed,  // a receive error, or nothing arrived within the time-out
  kStopped,        // the stop question said yes while waiting for bytes
  kWriteFailed,    // the file refused bytes (nMoved says how many reached it)
};

class CSocketToFile {
public:
  CSocketToFile();
  ~CSocketToFile();
  CSocketToFile(const CSocketToFile&) = delete;
  CSocketToFile& operator=(const CSocketToFile&) = delete;

  // Moves what arrives, up to the chunk size and never more than nLimit
  // bytes (a peer may send more than it announced), into the file; nMoved is
  // the count of bytes that reached the file in this call. The wait for bytes
  // asks fnStop between its slices (see Socket.h).
  MoveResult Move(CTcpConnection& connection, COutputFile& file, std::size_t nLimit,
                  std::chrono::milliseconds timeout, std::size_t& nMoved, const StopCheck& fnStop = StopCheck());

private:
  struct CState;
  std::unique_ptr<CState> m_pState;
};

}  // namespace platform
