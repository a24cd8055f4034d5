// The Linux entry: the same start-up as the Windows program, with the
// terminal front end standing in for the window.
#include <string>
#include <vector>

#include "app/Startup.h"
#include "common/Common.h"
#include "ui/console/ConsoleMainWindow.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 0; i < argc; ++i) args.push_back(AnsiToWide(argv[i]));
  CConsoleMainWindow window;
  return RunFetchlet(args, window);
}
