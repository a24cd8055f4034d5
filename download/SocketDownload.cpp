#include "download/SocketDownload.h"

#include <algorithm>

#include "common/Common.h"
#include "platform/FileSystem.h"
#include "platform/HostLookup.h"
#include "platform/OutputFile.h"
#include "platform/Socket.h"
#include "platform/SocketToFile.h"

namespace {

// The header is read into a buffer of this size, end mark included.
constexpr std::size_t kHeaderLimit = 4096;
// Anything this small or smaller is not the installer.
constexpr std::int64_t kMinimumTotalSize = 0x500000;
constexpr char kHeaderEnd[] = "\r\n\r\n";

using Clock = std::chrono::steady_clock;

class CDeadline {
public:
  explicit CDeadline(std::chrono::milliseconds total) : m_bSet(total.count() > 0), m_end(Clock::now() + total) {}
  // The stage's own limit, cut to what is left of the whole call.
  std::chrono::milliseconds Limit(std::chrono::milliseconds stage) const {
    if (!m_bSet) return stage;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_end - Clock::now());
    return std::max(std::chrono::milliseconds(0), std::min(stage, left));
  }
  bool Passed() const { return m_bSet && Clock::now() >= m_end; }

private:
  bool m_bSet;
  Clock::time_point m_end;
};

// What is left until end; zero once it has passed.
std::chrono::milliseconds Left(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
  return std::max(std::chrono::milliseconds(0), left);
}

void Report(platform::IProgressSink* pSink, unsigned long ulProgress, unsigned long ulMax, unsigned long ulCode) {
  if (pSink) pSink->OnProgress(ulProgress, ulMax, ulCode);
}

// Leading decimal digits (after blanks, with an optional sign), like the C
// runtime's conversion; stops before an overflow.
std::int64_t ParseDecimal(const std::string& strText, bool* pHasDigits = nullptr) {
  std::size_t i = strText.find_first_not_of(" \t");
  if (i == std::string::npos) i = strText.size();
  bool bNegative = false;
  if (i < strText.size() && (strText[i] == '-' || strText[i] == '+')) bNegative = strText[i++] == '-';
  std::int64_t nValue = 0;
  bool bDigits = false;
  for (; i < strText.size() && strText[i] >= '0' && strText[i] <= '9'; ++i) {
    const int nDigit = strText[i] - '0';
    if (nValue > (INT64_MAX - nDigit) / 10) break;
    nValue = nValue * 10 + nDigit;
    bDigits = true;
  }
  if (pHasDigits) *pHasDigits = bDigits;
  return bNegative ? -nValue : nValue;
}

// The value of a header field, given exactly as the server must spell it.
bool HeaderField(const std::string& strHeader, const char* pName, std::string& strValue) {
  const std::size_t nPos = strHeader.find(pName);
  if (nPos == std::string::npos) return false;
  const std::size_t nStart = nPos + std::char_traits<char>::length(pName);
  const std::size_t nEnd = strHeader.find("\r\n", nStart);
  if (nEnd == std::string::npos) return false;
  strValue = strHeader.substr(nStart, nEnd - nStart);
  return true;
}

// Where the body of an answer starts in the file, when the server said so.
bool ContentRangeStart(const std::string& strHeader, std::int64_t& nStart) {
  std::string strValue;
  if (!HeaderField(strHeader, "\r\nContent-Range: ", strValue)) return false;
  const std::size_t nBytes = strValue.find("bytes ");
  if (nBytes == std::string::npos) return false;
  bool bDigits = false;
  nStart = ParseDecimal(strValue.substr(nBytes + 6), &bDigits);
  return bDigits;
}

}  // namespace

bool CutSocketUrl(const std::wstring& strUrl, SocketUrl& url) {
  const std::size_t nSlash = strUrl.find(L'/');
  if (nSlash == std::wstring::npos) return false;
  const std::size_t nHostStart = nSlash + 2;  // the two slashes after the scheme
  if (nHostStart >= strUrl.size()) return false;
  const std::size_t nPathStart = strUrl.find(L'/', nHostStart);
  // Only a ":" before the path separates a port; one inside the path is text.
  std::size_t nPortSep = strUrl.find(L':', nHostStart);
  if (nPathStart != std::wstring::npos && nPortSep > nPathStart) nPortSep = std::wstring::npos;
  const std::size_t nHostEnd = nPortSep != std::wstring::npos ? nPortSep : nPathStart;

  url.strHost = strUrl.substr(nHostStart, nHostEnd == std::wstring::npos ? std::wstring::npos : nHostEnd - nHostStart);
  if (url.strHost.empty()) return false;
  url.nPort = 80;
  if (nPortSep != std::wstring::npos) {
    const std::wstring strPort = strUrl.substr(
        nPortSep + 1, nPathStart == std::wstring::npos ? std::wstring::npos : nPathStart - nPortSep - 1);
    if (strPort.empty() || strPort.size() > 5 || strPort.find_first_not_of(L"0123456789") != std::wstring::npos) {
      return false;
    }
    const unsigned long nPort = std::stoul(strPort);
    if (nPort == 0 || nPort > 65535) return false;
    url.nPort = static_cast<std::uint16_t>(nPort);
  }
  url.strPath = nPathStart == std::wstring::npos ? L"/" : strUrl.substr(nPathStart);
  return true;
}

std::wstring DownloadFileBySocket(const std::wstring& strUrl, const std::wstring& strPath, std::int64_t* pOffset,
                                  platform::IProgressSink* pSink, const SocketDownloadLimits& limits) {
  std::int64_t nIgnoredOffset = 0;
  if (!pOffset) pOffset = &nIgnoredOffset;
  const CDeadline deadline(limits.total);

  SocketUrl url;
  if (!CutSocketUrl(strUrl, url)) return L"bad url.";
  Report(pSink, 0, 0, platform::kBindStatusConnecting);

  platform::CNetworkSession session;
  if (session.StartError() != 0) return L"WSAStartup() initialize failed:" + std::to_wstring(session.StartError());
  if (!session.VersionSupported()) return L"WinSock version not supported";

  // The connect limit covers the name's look-up and the connect together: a
  // name server that never answers must not hold the call past it.
  const Clock::time_point connectEnd = Clock::now() + deadline.Limit(limits.connect);
  const std::string strHost = WideToAnsi(url.strHost);
  std::uint32_t nAddress = 0;
  if (!platform::ResolveHost(strHost, nAddress, Left(connectEnd))) {
    return L"gethostbyname() error." + GetLastErrorText();
  }

  platform::CTcpConnection connection;
  if (!connection.Open()) return L"socket() error." + GetLastErrorText();
  if (!connection.Connect(nAddress, url.nPort, Left(connectEnd))) {
    return L"connect() error." + GetLastErrorText();
  }

  Report(pSink, 0, 0, platform::kBindStatusSendingRequest);
  const std::string strRequest = "GET " + WideToAnsi(url.strPath) + " HTTP/1.1\r\nHost: " + strHost +
                                 "\r\nRange: bytes=" + std::to_string(*pOffset) + "-\r\nConnection: close\r\n\r\n";
  if (!connection.Send(strRequest.data(), strRequest.size(), deadline.Limit(limits.send))) return L"send() error";

  // One byte per receive, so that not a single body byte is taken with the header.
  Report(pSink, 0, 0, platform::kBindStatusRedirecting);
  std::string strHeader;
  strHeader.reserve(kHeaderLimit);
  bool bHeaderEnded = false;
  while (strHeader.size() < kHeaderLimit) {
    char c = 0;
    if (deadline.Passed() || connection.Receive(&c, 1, deadline.Limit(limits.receive)) <= 0) {
      return L"recv http head error.";
    }
    strHeader += c;
    if (strHeader.size() >= 4 && strHeader.compare(strHeader.size() - 4, 4, kHeaderEnd) == 0) {
      bHeaderEnded = true;
      break;
    }
  }
  if (!bHeaderEnded) return L"recv http head too big.";

  const std::size_t nFirstSpace = strHeader.find(' ');
  const std::size_t nSecondSpace = nFirstSpace == std::string::npos ? std::string::npos : strHeader.find(' ', nFirstSpace + 1);
  const std::string strStatus = nFirstSpace == std::string::npos
                                    ? std::string()
                                    : strHeader.substr(nFirstSpace, nSecondSpace == std::string::npos
                                                                        ? std::string::npos
                                                                        : nSecondSpace - nFirstSpace);
  const std::int64_t nStatus = ParseDecimal(strStatus);
  if (nStatus < 200 || nStatus > 299) return L"HttpCode:" + AnsiToWide(strStatus);

  std::string strLength;
  const bool bHasLength = HeaderField(strHeader, "Content-Length: ", strLength);
  const std::int64_t nContentLength = bHasLength ? ParseDecimal(strLength) : 0;

  // A server that ignores the range sends the file from its first byte: that
  // body must replace the partial file, never be appended to it.
  std::int64_t nBodyStart = *pOffset;
  std::int64_t nRangeStart = 0;
  if (ContentRangeStart(strHeader, nRangeStart)) {
    nBodyStart = nRangeStart;
  } else if (nStatus != 206) {
    nBodyStart = 0;
  }
  const bool bStartOver = nBodyStart != *pOffset;
  if (bStartOver && nBodyStart != 0) {
    // A part from elsewhere in the file is of no use; the next attempt asks
    // for the whole file.
    platform::COutputFile restart;
    if (restart.Open(strPath, false)) restart.Close();
    *pOffset = 0;
    return L"Content-Range mismatch.";
  }
  if (bStartOver) *pOffset = 0;
  const std::int64_t nTotal = bHasLength ? nContentLength + *pOffset : 0;

  platform::COutputFile file;
  if (!file.Open(strPath, *pOffset != 0)) return L"open newfile error!" + GetLastErrorText();
  // The offset must say what the file holds whatever happens next.
  auto finish = [&](std::wstring strResult) {
    if (!file.Close() && strResult.empty()) strResult = L"close file error!" + GetLastErrorText();
    // Every byte that reached the file is the stream's next byte: after a
    // failure the file's size is what the next attempt must ask from.
    std::uint64_t nOnDisk = 0;
    if (!strResult.empty() && platform::GetFileSize(strPath, nOnDisk)) *pOffset = static_cast<std::int64_t>(nOnDisk);
    return strResult;
  };
  if (nTotal <= kMinimumTotalSize) return finish(L"src file too small!");

  Report(pSink, 0, 0, platform::kBindStatusBeginDownloadData);
  file.Reserve(static_cast<std::uint64_t>(nTotal - *pOffset));
  platform::CSocketToFile mover;
  for (;;) {
    std::size_t nMoved = 0;
    const platform::MoveResult result = deadline.Passed()
                                            ? platform::MoveResult::kReceiveFailed
                                            : mover.Move(connection, file, deadline.Limit(limits.receive), nMoved);
    if (result == platform::MoveResult::kReceiveFailed) return finish(L"recv() error");
    if (result == platform::MoveResult::kPeerClosed) return finish(L"recv 0");
    *pOffset += static_cast<std::int64_t>(nMoved);
    if (result == platform::MoveResult::kWriteFailed) {
      // The count of what reached the file is what the file's size tells.
      return finish(L"write file error!" + GetLastErrorText());
    }
    Report(pSink, static_cast<unsigned long>(*pOffset & 0xFFFFFFFF), static_cast<unsigned long>(nTotal & 0xFFFFFFFF),
           platform::kBindStatusDownloadingData);
    if (*pOffset >= nTotal) return finish(std::wstring());
  }
}
