// The head of a server's answer as the own client reads it: the status code,
// Content-Length and Content-Range, each only where the field's line starts.
#include <gtest/gtest.h>

#include <string>

#include "download/HttpAnswer.h"

namespace {

TEST(HttpAnswerHead, ReadsTheFieldsOnlyAtTheStartOfTheirLines) {
  struct Case {
    const char* name;
    std::string strHead;
    std::int64_t nStatus;
    bool bHasLength;
    std::int64_t nLength;
    bool bHasRange;
    std::int64_t nRangeStart;
  };
  const Case cases[] = {
      {"whole file", "HTTP/1.1 200 OK\r\nContent-Length: 5242881\r\n\r\n", 200, true, 5242881, false, 0},
      {"part", "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 100-199/200\r\nContent-Length: 100\r\n\r\n",
       206, true, 100, true, 100},
      {"a longer name ending in the field's name comes first",
       "HTTP/1.1 200 OK\r\nX-Original-Content-Length: 9\r\nContent-Length: 6000000\r\n\r\n", 200, true, 6000000,
       false, 0},
      {"only the longer name", "HTTP/1.1 200 OK\r\nX-Original-Content-Length: 9\r\n\r\n", 200, false, 0, false, 0},
      {"a range named inside another field",
       "HTTP/1.1 206 Partial Content\r\nX-Content-Range: bytes 7-8/9\r\nContent-Length: 2\r\n\r\n", 206, true, 2,
       false, 0},
      {"field name spelt otherwise", "HTTP/1.1 200 OK\r\ncontent-length: 10\r\nContent-Length:10\r\n\r\n", 200,
       false, 0, false, 0},
      {"range without a start", "HTTP/1.1 206 x\r\nContent-Range: bytes */200\r\n\r\n", 206, false, 0, false, 0},
      {"range over 4 GiB", "HTTP/1.1 206 x\r\nContent-Range: bytes 4294967396-4294967495/4294967496\r\n\r\n", 206,
       false, 0, true, 4294967396},
      // A prefix of the digits would pass for a length the server never sent.
      {"length too long for 64 bits", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", 200,
       false, 0, false, 0},
      {"length one past 64 bits", "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\n", 200, false, 0,
       false, 0},
      {"largest 64-bit length", "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\n", 200, true,
       9223372036854775807, false, 0},
      {"range start too long for 64 bits",
       "HTTP/1.1 206 x\r\nContent-Range: bytes 99999999999999999999-5/6\r\nContent-Length: 6000000\r\n\r\n", 206,
       true, 6000000, true, -1},
      {"no status code", "garbage\r\n\r\n", 0, false, 0, false, 0},
      {"status line only", "HTTP/1.1 404\r\n\r\n", 404, false, 0, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HttpAnswerHead head = ParseHttpAnswerHead(c.strHead);
    EXPECT_EQ(head.nStatus, c.nStatus);
    EXPECT_EQ(head.bHasLength, c.bHasLength);
    if (c.bHasLength) {
      EXPECT_EQ(head.nContentLength, c.nLength);
    }
    EXPECT_EQ(head.bHasRangeStart, c.bHasRange);
    if (c.bHasRange) {
      EXPECT_EQ(head.nRangeStart, c.nRangeStart);
    }
  }
}

TEST(HttpAnswerHead, TheStatusTextIsWhatTheFailureQuotes) {
  EXPECT_EQ(ParseHttpAnswerHead("HTTP/1.1 404 Not Found\r\n\r\n").strStatusText, " 404");
  EXPECT_EQ(ParseHttpAnswerHead("HTTP/1.1 503\r\n\r\n").strStatusText, " 503\r\n\r\n");
  EXPECT_EQ(ParseHttpAnswerHead("nothing").strStatusText, "");
}

}  // namespace
