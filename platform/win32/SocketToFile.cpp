#include "platform/SocketToFile.h"

#include <algorithm>
#include <vector>

#include "platform/SystemError.h"

namespace platform {

namespace {

// Large enough that a gigabyte moves in a few thousand calls.
constexpr std::size_t kChunk = 256 * 1024;

}  // namespace

struct CSocketToFile::CState {
  std::vector<char> buffer = std::vector<char>(kChunk);
};

CSocketToFile::CSocketToFile() : m_pState(std::make_unique<CState>()) {}

CSocketToFile::~CSocketToFile() = default;

MoveResult CSocketToFile::Move(CTcpConnection& connection, COutputFile& file, std::size_t nLimit,
                               std::chrono::milliseconds timeout, std::size_t& nMoved, const StopCheck& fnStop) {
  nMoved = 0;
  const long nReceived =
      connection.Receive(m_pState->buffer.data(), std::min(m_pState->buffer.size(), nLimit), timeout, fnStop);
  if (nReceived == 0) return MoveResult::kPeerClosed;
  if (nReceived < 0) {
    return GetLastErrorCode() == StoppedErrorCode() ? MoveResult::kStopped : MoveResult::kReceiveFailed;
  }
  // A partial write leaves an unknown count on disk: the caller reads the size.
  if (!file.Write(m_pState->buffer.data(), static_cast<std::size_t>(nReceived))) return MoveResult::kWriteFailed;
  nMoved = static_cast<std::size_t>(nReceived);
  return MoveResult::kMoved;
}

}  // namespace platform
