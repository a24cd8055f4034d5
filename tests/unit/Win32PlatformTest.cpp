// Win32 services whose failure would silently change the program's road: the
// version lookup picks the administrator test, the random source makes the
// device id.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <array>

#include "platform/OsVersion.h"
#include "platform/SecureRandom.h"

namespace {

TEST(Win32PlatformTest, OsVersionIsFoundInNtdll) {
  unsigned nMajor = 0;
  unsigned nMinor = 0;
  ASSERT_TRUE(platform::GetOsVersion(nMajor, nMinor));
  // Every system this program supports is Vista or later: the elevation test decides.
  EXPECT_GE(nMajor, 6u);
}

TEST(Win32PlatformTest, SecureRandomGivesFreshBytes) {
  std::array<unsigned char, 64> first{};
  std::array<unsigned char, 64> second{};
  ASSERT_TRUE(platform::FillSecureRandom(first.data(), first.size()));
  ASSERT_TRUE(platform::FillSecureRandom(second.data(), second.size()));
  EXPECT_NE(first, second);
  EXPECT_TRUE(platform::FillSecureRandom(nullptr, 0));
}

}  // namespace

#endif  // _WIN32
