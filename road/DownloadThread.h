// The download thread: the installer from sources 0, 1 and 2 in turn, each by
// the three methods of DownloadFile; the first success goes on to Install.
#pragma once

#include <cstdint>
#include <string>

#include "road/RoadWindow.h"

// Starts DownloadThreadProc; false (reported, shown, contact dialog) when the
// thread cannot be created.
bool StartDownload(IRoadWindow& window);

void DownloadThreadProc(IRoadWindow& window);

// The user's text for the last source's result code; strUrl is that
// source's address.
std::wstring DownloadFailureMessage(std::int32_t nResult, const std::wstring& strUrl);
