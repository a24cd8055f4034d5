// The one orderly way out of the process: the main window object, then the
// log (which stops and joins its sender thread) are torn down before the
// process ends, whichever thread calls it.
#pragma once

[[noreturn]] void ExitFetchlet(int nExitCode);
