// The road's look at the end of the run before a step it cannot take back.
#pragma once

#include <chrono>

#include "road/RoadWindow.h"

// How often a step that waits looks whether the run has ended.
inline constexpr std::chrono::milliseconds kRunEndPoll{50};

// true when the run has ended; the log then says which step was left out.
bool RunEndedBefore(IRoadWindow& window, const char* pStep);
