// A host name's look-up bounded in time. The system's resolver can wait as
// long as it likes for a name server that never answers; here it runs on a
// helper thread that is left to finish alone when the time runs out.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/ProgressSink.h"

namespace platform {

// The host's first IPv4 address (network byte order), as ResolveHostBlocking
// finds it, within timeout. A dotted address and an empty name are answered
// at once on the calling thread. A look-up still running at the deadline
// fails with TimedOutErrorCode() as the calling thread's last error, and one
// given up because fnStop said yes (asked between slices of the wait, see
// Socket.h) with StoppedErrorCode(); any other failure leaves the resolver's
// own error there.
bool ResolveHost(const std::string& strHost, std::uint32_t& nAddress, std::chrono::milliseconds timeout,
                 const StopCheck& fnStop = StopCheck());

}  // namespace platform
