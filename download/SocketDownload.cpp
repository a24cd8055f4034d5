#include "download/SocketDownload.h"

#include <algorithm>
#include <limits>

#include "common/Common.h"
#include "download/SpeedFloor.h"
#include "platform/HostLookup.h"
#include "platform/OutputFile.h"
#include "platform/SlicedWait.h"
#include "platform/Socket.h"
#include "platform/SocketToFile.h"
#include "platform/SystemError.h"

namespace {

// The header is read into a buffer of this size, end mark included.
constexpr std::size_t kHeaderLimit = 4096;
// Anything this small or smaller is not the installer.
constexpr std::int64_t kMinimumTotalSize = 0x500000;
constexpr char kHeaderEnd[] = "\r\n\r\n";

using Clock = std::chrono::steady_clock;

// What bounds the waits of one call: each stage's own limit, cut to what is
// left of the whole call's, and the sink's wish to stop, which every wait
// asks between its slices.
class CCallWaits {
public:
  CCallWaits(std::chrono::milliseconds total, platform::IProgressSink* pSink)
      : m_bSet(total.count() > 0),
        m_end(Clock::now() + std::min(total, platform::kLongestWait)),
        m_fnStop(platform::StopCheckOf(pSink)) {}
  // The stage's own limit, cut to what is left of the whole call.
  std::chrono::milliseconds Limit(std::chrono::milliseconds stage) const {
    if (!m_bSet) return stage;
    // Rounded up, as every wait here: a wait never ends before its limit.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_end - Clock::now());
    return std::max(std::chrono::milliseconds(0), std::min(stage, left));
  }
  bool Passed() const { return m_bSet && Clock::now() >= m_end; }
  // Asked also between waits: bytes that keep coming never make a wait ask.
  bool StopRequested() const { return m_fnStop && m_fnStop(); }
  const platform::StopCheck& StopQuestion() const { return m_fnStop; }

private:
  bool m_bSet;
  Clock::time_point m_end;
  platform::StopCheck m_fnStop;
};

// A failed stage's text: the stop's when its wait was given up on request,
// else the stage's own, with the system's text for the error when asked.
std::wstring StageError(const wchar_t* szStage, bool bSystemText) {
  if (platform::GetLastErrorCode() == platform::StoppedErrorCode()) return kDownloadStopped;
  return bSystemText ? szStage + GetLastErrorText() : std::wstring(szStage);
}

// What is left until end, rounded up so that a wait for it never ends
// before it; zero once it has passed.
std::chrono::milliseconds Left(Clock::time_point end) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
  return std::max(std::chrono::milliseconds(0), left);
}

void Report(platform::IProgressSink* pSink, unsigned long ulProgress, unsigned long ulMax, unsigned long ulCode) {
  if (pSink) pSink->OnProgress(ulProgress, ulMax, ulCode);
}

}  // namespace

std::wstring DownloadFileBySocket(const std::wstring& strUrl, const std::wstring& strPath, std::int64_t* pOffset,
                                  platform::IProgressSink* pSink, const SocketDownloadLimits& limits,
                                  ResumeCheck* pResume) {
  std::int64_t nIgnoredOffset = 0;
  if (!pOffset) pOffset = &nIgnoredOffset;
  ResumeCheck ignoredResume;
  if (!pResume) pResume = &ignoredResume;
  *pResume = ResumeCheck();
  const CCallWaits waits(limits.total, pSink);
  // Not even a connection once the caller has given up.
  if (waits.StopRequested()) return kDownloadStopped;

  SocketUrl url;
  if (!CutSocketUrl(strUrl, url)) return L"bad url.";
  Report(pSink, 0, 0, platform::kBindStatusConnecting);

  platform::CNetworkSession session;
  if (session.StartError() != 0) return L"WSAStartup() initialize failed:" + std::to_wstring(session.StartError());
  if (!session.VersionSupported()) return L"WinSock version not supported";

  // The connect limit covers the name's look-up and the connect together: a
  // name server that never answers must not hold the call past it.
  const Clock::time_point connectEnd = Clock::now() + waits.Limit(limits.connect);
  const std::string strHost = WideToAnsi(url.strHost);
  std::uint32_t nAddress = 0;
  if (!platform::ResolveHost(strHost, nAddress, Left(connectEnd), waits.StopQuestion())) {
    return StageError(L"gethostbyname() error.", true);
  }

  platform::CTcpConnection connection;
  if (!connection.Open()) return L"socket() error." + GetLastErrorText();
  if (!connection.Connect(nAddress, url.nPort, Left(connectEnd), waits.StopQuestion())) {
    return StageError(L"connect() error.", true);
  }

  Report(pSink, 0, 0, platform::kBindStatusSendingRequest);
  // The range starts where the file on disk truly ends, whatever happened to
  // it since the last attempt.
  *pResume = CheckResumePoint(strPath, *pOffset);
  const std::string strRequest = "GET " + WideToAnsi(url.strPath) + " HTTP/1.1\r\nHost: " + strHost +
                                 "\r\nRange: bytes=" + std::to_string(*pOffset) + "-\r\nConnection: close\r\n\r\n";
  if (!connection.Send(strRequest.data(), strRequest.size(), waits.Limit(limits.send), waits.StopQuestion())) {
    return StageError(L"send() error", false);
  }

  // One byte per receive, so that not a single body byte is taken with the
  // header. The whole head has one receive limit, from the request on: a
  // byte now and then must not keep the wait going.
  const Clock::time_point headEnd = Clock::now() + waits.Limit(limits.receive);
  Report(pSink, 0, 0, platform::kBindStatusRedirecting);
  std::string strHeader;
  strHeader.reserve(kHeaderLimit);
  bool bHeaderEnded = false;
  while (strHeader.size() < kHeaderLimit) {
    if (waits.StopRequested()) return kDownloadStopped;
    char c = 0;
    const long nReceived = connection.Receive(&c, 1, Left(headEnd), waits.StopQuestion());
    if (nReceived < 0) return StageError(L"recv http head error.", false);
    if (nReceived == 0) return L"recv http head error.";
    strHeader += c;
    if (strHeader.size() >= 4 && strHeader.compare(strHeader.size() - 4, 4, kHeaderEnd) == 0) {
      bHeaderEnded = true;
      break;
    }
  }
  if (!bHeaderEnded) return L"recv http head too big.";

  const HttpAnswerHead head = ParseHttpAnswerHead(strHeader);
  const std::int64_t nStatus = head.nStatus;
  if (nStatus < 200 || nStatus > 299) return L"HttpCode:" + AnsiToWide(head.strStatusText);

  // A server that ignores the range sends the file from its first byte: that
  // body must replace the partial file, never be appended to it.
  std::int64_t nBodyStart = *pOffset;
  if (head.bHasRangeStart) {
    nBodyStart = head.nRangeStart;
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
  // A negative length, or one that would overflow the total, is no length.
  const bool bUsableLength = head.bHasLength && head.nContentLength >= 0 &&
                             head.nContentLength <= std::numeric_limits<std::int64_t>::max() - *pOffset;
  const std::int64_t nTotal = bUsableLength ? head.nContentLength + *pOffset : 0;

  platform::COutputFile file;
  const std::int64_t nAsked = *pOffset;
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
  // Changed since the check (removed, cut or grown meanwhile): this body
  // would not continue it. The next attempt asks from its true size, or
  // from the start when bytes of unknown origin were added.
  std::uint64_t nOpened = 0;
  if (nAsked != 0 && (!file.Size(nOpened) || nOpened != static_cast<std::uint64_t>(nAsked))) {
    std::wstring strResult = finish(L"local file changed!");
    if (nOpened > static_cast<std::uint64_t>(nAsked)) *pOffset = 0;
    return strResult;
  }
  if (nTotal <= kMinimumTotalSize) return finish(L"src file too small!");

  Report(pSink, 0, 0, platform::kBindStatusBeginDownloadData);
  file.Reserve(static_cast<std::uint64_t>(nTotal - *pOffset));
  platform::CSocketToFile mover;
  CSpeedFloor speedFloor(limits.minimumSpeed, limits.speedWindow, Clock::now());
  while (*pOffset < nTotal) {
    if (waits.StopRequested()) return finish(kDownloadStopped);
    const Clock::time_point speedEnd = speedFloor.Deadline();
    if (Clock::now() >= speedEnd) return finish(L"recv speed too low");
    // Bytes past the announced length are not the file's: never taken.
    const std::size_t nWanted = static_cast<std::size_t>(
        std::min<std::int64_t>(nTotal - *pOffset, std::numeric_limits<std::int32_t>::max()));
    // The wait for the next bytes ends when the floor would be broken without them.
    const std::chrono::milliseconds receiveLimit = waits.Limit(limits.receive);
    const bool bFloorBounds = speedEnd - Clock::now() < receiveLimit;
    const std::chrono::milliseconds wait =
        bFloorBounds ? std::chrono::ceil<std::chrono::milliseconds>(speedEnd - Clock::now()) : receiveLimit;
    if (waits.Passed()) return finish(L"recv() error");
    std::size_t nMoved = 0;
    const platform::MoveResult result = mover.Move(connection, file, nWanted, wait, nMoved, waits.StopQuestion());
    if (result == platform::MoveResult::kStopped) return finish(kDownloadStopped);
    if (result == platform::MoveResult::kReceiveFailed) {
      const bool bFloorPassed = bFloorBounds && platform::GetLastErrorCode() == platform::TimedOutErrorCode();
      return finish(bFloorPassed ? L"recv speed too low" : L"recv() error");
    }
    if (result == platform::MoveResult::kPeerClosed) return finish(L"recv 0");
    *pOffset += static_cast<std::int64_t>(nMoved);
    speedFloor.Add(static_cast<std::int64_t>(nMoved), Clock::now());
    if (result == platform::MoveResult::kWriteFailed) {
      // The count of what reached the file is what the file's size tells.
      return finish(L"write file error!" + GetLastErrorText());
    }
    platform::ReportBytes(pSink, static_cast<std::uint64_t>(*pOffset), static_cast<std::uint64_t>(nTotal));
  }
  return finish(std::wstring());
}
