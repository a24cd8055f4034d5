// The single-instance key: a top-level window of class "TarnFetchlet" on
// Windows, an exclusive lock on a named lock file on Linux.
#pragma once

namespace platform {

// true when another instance of the program holds the key. On Linux the first
// caller takes the lock and keeps it for the life of the process.
bool IsAnotherInstanceRunning();

}  // namespace platform
