#include "platform/SocketToFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/SystemError.h"

namespace platform {

namespace {

// A pipe this large lets one splice carry a megabyte: a gigabyte then costs
// about two thousand calls and never passes through this process's memory.
constexpr int kPipeSize = 1 << 20;
constexpr std::size_t kCopyChunk = 256 * 1024;

// What a receive or its wait that failed means for the move.
MoveResult WaitFailure() {
  return GetLastErrorCode() == StoppedErrorCode() ? MoveResult::kStopped : MoveResult::kReceiveFailed;
}

}  // namespace

struct CSocketToFile::CState {
  int nPipe[2] = {-1, -1};
  std::size_t nChunk = 64 * 1024;
  bool bSplice = true;
  std::vector<char> buffer;  // only when splice is refused
};

CSocketToFile::CSocketToFile() : m_pState(std::make_unique<CState>()) {
  if (::pipe2(m_pState->nPipe, O_CLOEXEC) != 0) {
    m_pState->bSplice = false;
    return;
  }
  const int nSize = ::fcntl(m_pState->nPipe[1], F_SETPIPE_SZ, kPipeSize);
  if (nSize > 0) m_pState->nChunk = static_cast<std::size_t>(nSize);
}

CSocketToFile::~CSocketToFile() {
  for (int nFd : m_pState->nPipe) {
    if (nFd >= 0) ::close(nFd);
  }
}

MoveResult CSocketToFile::Move(CTcpConnection& connection, COutputFile& file, std::size_t nLimit,
                               std::chrono::milliseconds timeout, std::size_t& nMoved, const StopCheck& fnStop) {
  nMoved = 0;
  const int nSocket = static_cast<int>(connection.NativeHandle());
  const int nFile = static_cast<int>(file.NativeHandle());
  if (m_pState->bSplice) {
    for (;;) {
      // The splice would wait on the socket without a limit: wait here first.
      if (!connection.WaitReadable(timeout, fnStop)) return WaitFailure();
      const ssize_t nIn = ::splice(nSocket, nullptr, m_pState->nPipe[1], nullptr, std::min(m_pState->nChunk, nLimit),
                                   SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
      if (nIn == 0) return MoveResult::kPeerClosed;
      if (nIn < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        if (errno == EINVAL) break;  // this socket or file cannot splice: copy instead
        return MoveResult::kReceiveFailed;
      }
      // Everything taken into the pipe must reach the file, or the pipe would
      // hold bytes that belong before the next ones.
      std::size_t nLeft = static_cast<std::size_t>(nIn);
      while (nLeft > 0) {
        const ssize_t nOut = ::splice(m_pState->nPipe[0], nullptr, nFile, nullptr, nLeft, SPLICE_F_MOVE);
        if (nOut <= 0) {
          if (nOut < 0 && errno == EINTR) continue;
          if (nOut == 0) errno = EIO;
          return MoveResult::kWriteFailed;
        }
        nLeft -= static_cast<std::size_t>(nOut);
        nMoved += static_cast<std::size_t>(nOut);
      }
      return MoveResult::kMoved;
    }
    m_pState->bSplice = false;
  }

  if (m_pState->buffer.empty()) m_pState->buffer.resize(kCopyChunk);
  const long nReceived =
      connection.Receive(m_pState->buffer.data(), std::min(m_pState->buffer.size(), nLimit), timeout, fnStop);
  if (nReceived == 0) return MoveResult::kPeerClosed;
  if (nReceived < 0) return WaitFailure();
  if (!file.Write(m_pState->buffer.data(), static_cast<std::size_t>(nReceived))) return MoveResult::kWriteFailed;
  nMoved = static_cast<std::size_t>(nReceived);
  return MoveResult::kMoved;
}

}  // namespace platform
