// What the own HTTP client reads from outside: the head of a server's answer
// (status line, Content-Length, Content-Range) and the URL it is given. Field
// names are matched as the servers spell them ("Content-Length: ", one
// blank), at the start of a header line only.
#pragma once

#include <cstdint>
#include <string>

struct HttpAnswerHead {
  // The status code as the status line gives it, blank included (" 206"):
  // the failure text quotes it.
  std::string strStatusText;
  std::int64_t nStatus = 0;
  // A length too long for 64 bits is no length.
  bool bHasLength = false;
  std::int64_t nContentLength = 0;
  // "Content-Range: bytes <start>-...": where the body starts in the file. A
  // start too long for 64 bits is -1, a start no request asks for.
  bool bHasRangeStart = false;
  std::int64_t nRangeStart = 0;
};

// strHead is the answer up to and including its blank line.
HttpAnswerHead ParseHttpAnswerHead(const std::string& strHead);

// Leading decimal digits (after blanks, with an optional sign), like the C
// runtime's conversion. *pHasDigits tells whether there were any. Digits
// beyond 64 bits are no number: the result is 0 and *pOverflows says so (a
// prefix of them would pass for a value the peer never sent).
std::int64_t ParseDecimal(const std::string& strText, bool* pHasDigits = nullptr, bool* pOverflows = nullptr);

// The pieces of a URL as the client cuts it: host, port and path with query.
struct SocketUrl {
  std::wstring strHost;
  std::uint16_t nPort = 80;
  std::wstring strPath;
};

// false for a URL the client cannot cut (no path, an empty or bad port).
bool CutSocketUrl(const std::wstring& strUrl, SocketUrl& url);
