// The road's look at the end of the run before a step it cannot take back.
#pragma once

#include <functional>

#include "road/RoadWindow.h"

// true when the run has ended; the log then says which step was left out.
bool RunEndedBefore(IRoadWindow& window, const char* pStep);

// Carries out a start that the end of the run cannot overtake: once the user
// has said stop nothing starts, and a stop during the start waits for it.
// false, logged as RunEndedBefore, when the run had ended.
bool StartUnlessRunEnded(IRoadWindow& window, const char* pStep, const std::function<void()>& fnStart);
