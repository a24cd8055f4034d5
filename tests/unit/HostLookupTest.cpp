// The bounded look-up: what needs no resolver is answered at once, whatever
// the time left or a stop; a name goes through the helper thread; no time
// left fails with the "timed out" code the download's message text is made
// from, and a stop with the "stopped" code.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/HostLookup.h"
#include "platform/Socket.h"
#include "platform/SystemError.h"

namespace {

using namespace std::chrono_literals;

std::uint32_t Loopback() {
  const unsigned char bytes[] = {127, 0, 0, 1};  // network byte order
  std::uint32_t nAddress = 0;
  std::memcpy(&nAddress, bytes, sizeof(nAddress));
  return nAddress;
}

TEST(HostLookup, AnswersWithinTheTimeOrSaysWhy) {
  platform::CNetworkSession session;
  ASSERT_EQ(session.StartError(), 0);
  enum class Outcome { Loopback, NotFound, TimedOut, Stopped };
  const platform::StopCheck fnNoStop;
  const platform::StopCheck fnNeverStops = [] { return false; };
  const platform::StopCheck fnStops = [] { return true; };
  const struct {
    const char* szName;
    std::string strHost;
    std::chrono::milliseconds timeout;
    const platform::StopCheck& fnStop;
    Outcome outcome;
  } cases[] = {
      // The third download source is a bare address: it must not need any time.
      {"dotted address, no time left", "127.0.0.1", 0ms, fnNoStop, Outcome::Loopback},
      {"dotted address, stop asked", "127.0.0.1", 30s, fnStops, Outcome::Loopback},
      {"name through the helper thread", "localhost", 30s, fnNoStop, Outcome::Loopback},
      {"name, waited for in slices", "localhost", 30s, fnNeverStops, Outcome::Loopback},
      // Not a time-out: an empty name is refused before any look-up.
      {"empty name, no time left", "", 0ms, fnNoStop, Outcome::NotFound},
      {"name, no time left", "localhost", 0ms, fnNoStop, Outcome::TimedOut},
      {"name, stop asked", "localhost", 30s, fnStops, Outcome::Stopped},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    std::uint32_t nAddress = 0;
    platform::SetLastErrorCode(0);
    const bool bResolved = platform::ResolveHost(c.strHost, nAddress, c.timeout, c.fnStop);
    const unsigned long nError = platform::GetLastErrorCode();
    switch (c.outcome) {
      case Outcome::Loopback:
        ASSERT_TRUE(bResolved) << nError;
        EXPECT_EQ(nAddress, Loopback());
        break;
      case Outcome::NotFound:
        EXPECT_FALSE(bResolved);
        EXPECT_NE(nError, 0u);
        EXPECT_NE(nError, platform::TimedOutErrorCode());
        break;
      case Outcome::TimedOut:
        EXPECT_FALSE(bResolved);
        EXPECT_EQ(nError, platform::TimedOutErrorCode());
        break;
      case Outcome::Stopped:
        EXPECT_FALSE(bResolved);
        EXPECT_EQ(nError, platform::StoppedErrorCode());
        break;
    }
  }
}

}  // namespace
