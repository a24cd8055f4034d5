#include "common/ProcessExit.h"

#include <cstdlib>

void ExitFetchlet(int nExitCode) {
  // std::exit runs the teardown of the function-local singletons in reverse
  // order of construction: CMainDlg first, then CLog, which joins its sender.
  std::exit(nExitCode);
}
