// Byte counts past 4 GiB reach the 32-bit sink scaled, so the share of the
// total held stays right (both the own client and libcurl report this way).
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/ProgressSink.h"

namespace {

class CLastReport : public platform::IProgressSink {
public:
  void OnProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode) override {
    m_ulProgress = ulProgress;
    m_ulMax = ulProgressMax;
    m_ulCode = ulStatusCode;
  }
  unsigned long m_ulProgress = 0;
  unsigned long m_ulMax = 0;
  unsigned long m_ulCode = 0;
};

TEST(ReportBytes, ScalesCountsThatDoNotFit32Bits) {
  constexpr std::uint64_t kGiB = std::uint64_t(1) << 30;
  const struct {
    const char* szName;
    std::uint64_t nDone;
    std::uint64_t nTotal;
    unsigned long ulProgress;
    unsigned long ulMax;
  } cases[] = {
      {"small counts pass as they are", 1000, 6000000, 1000, 6000000},
      {"the largest that fits", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
      {"just over 4 GiB, halved", 3 * kGiB, 4 * kGiB + 2, 3 * kGiB / 2, 2 * kGiB + 1},
      {"past 16 GiB, quartered and more", 10 * kGiB, 20 * kGiB, 10 * kGiB / 8, 20 * kGiB / 8},
      // A total of 0 is unknown: the count alone is scaled, never cut to its low bits.
      {"unknown total", 5 * kGiB, 0, 5 * kGiB / 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    CLastReport sink;
    platform::ReportBytes(&sink, c.nDone, c.nTotal);
    EXPECT_EQ(sink.m_ulProgress, c.ulProgress);
    EXPECT_EQ(sink.m_ulMax, c.ulMax);
    EXPECT_EQ(sink.m_ulCode, platform::kBindStatusDownloadingData);
  }
  platform::ReportBytes(nullptr, 5 * kGiB, 6 * kGiB);  // no sink, no report
}

}  // namespace
