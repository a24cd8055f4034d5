// The road's worker threads: started one after the other, never joined by
// their starter; the main thread waits for the last of them before teardown,
// so no worker touches CMainDlg or CLog while they go.
#pragma once

#include <chrono>
#include <functional>

// Runs fnWork on a new thread; false when the thread cannot be created.
bool StartRoadThread(std::function<void()> fnWork);

// Waits until no road thread runs; false when one still runs at the bound.
bool WaitForRoadThreads(std::chrono::milliseconds bound);
