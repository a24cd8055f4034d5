// The bounded look-up: what needs no resolver is answered at once, whatever
// the time left; a name goes through the helper thread; no time left fails
// with the "timed out" code the download's message text is made from.
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
  enum class Outcome { Loopback, NotFound, TimedOut };
  const struct {
    const char* szName;
    std::string strHost;
    std::chrono::milliseconds timeout;
    Outcome outcome;
  } cases[] = {
      // The third download source is a bare address: it must not need any time.
      {"dotted address, no time left", "127.0.0.1", 0ms, Outcome::Loopback},
      {"name through the helper thread", "localhost", 30s, Outcome::Loopback},
      // Not a time-out: an empty name is refused before any look-up.
      {"empty name, no time left", "", 0ms, Outcome::NotFound},
      {"name, no time left", "localhost", 0ms, Outcome::TimedOut},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    std::uint32_t nAddress = 0;
    platform::SetLastErrorCode(0);
    const bool bResolved = platform::ResolveHost(c.strHost, nAddress, c.timeout);
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
    }
  }
}

}  // namespace
