// DownloadFileBySocket: the program's own HTTP/1.1 client. One GET with a
// byte range from the caller's offset over one TCP connection; the body is
// written to the local file, appended when resuming.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "download/HttpAnswer.h"
#include "download/ResumePoint.h"
#include "platform/ProgressSink.h"

// How long each stage may wait; tests shorten them through this seam.
struct SocketDownloadLimits {
  std::chrono::milliseconds connect{10000};
  std::chrono::milliseconds send{10000};
  // For the whole answer head, from the request on, and for each receive of
  // the body: a peer silent this long has stalled the transfer.
  std::chrono::milliseconds receive{30000};
  // The body must bring at least minimumSpeed bytes a second on average over
  // every span of speedWindow: a peer that sends a byte now and then, each
  // within the receive limit, would otherwise hold an attempt for hours.
  // Zero for either turns the floor off.
  std::int64_t minimumSpeed{1024};
  std::chrono::milliseconds speedWindow{30000};
  // For the whole call when not zero: a trickling peer cannot stretch it.
  std::chrono::milliseconds total{0};
};

// The error text of a call given up because the sink asked it to stop; also
// what DownloadFile adds to its log text then.
inline constexpr wchar_t kDownloadStopped[] = L"download stopped.";

// Returns an error text, empty on success. *pOffset is the number of bytes of
// the file already held on entry and the number held on return, whatever the
// outcome, so that the next call resumes there. Before the range is asked,
// *pOffset is checked against the file on disk (CheckResumePoint): the call
// starts where the file truly ends, and *pResume, when given, says what was
// corrected. Every wait asks the sink between slices of at most
// kStopPollInterval whether to stop; when it says yes the call ends with
// kDownloadStopped.
std::wstring DownloadFileBySocket(const std::wstring& strUrl, const std::wstring& strPath, std::int64_t* pOffset,
                                  platform::IProgressSink* pSink,
                                  const SocketDownloadLimits& limits = SocketDownloadLimits(),
                                  ResumeCheck* pResume = nullptr);
