// Entry of the Windows program.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "ui/win32/Win32MainWindow.h"

namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* p) const { LocalFree(p); }
};

std::vector<std::wstring> SplitCommandLine() {
  // The parameters wWinMain is given are not used: the split of the whole
  // command line keeps the program at args[0], as the option scan expects.
  int nArgs = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(CommandLineToArgvW(GetCommandLineW(), &nArgs));
  std::vector<std::wstring> args;
  if (!argv) return args;
  args.reserve(static_cast<std::size_t>(nArgs));
  for (int i = 0; i < nArgs; ++i) args.emplace_back(argv.get()[i]);
  return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int) {
  // Static, not on the stack: CMainDlg keeps a pointer to it and is torn down
  // at process exit, which may come from another thread while this frame is
  // still live, or after it has returned. A static made here is torn down
  // after the singletons that RunFetchlet creates.
  static CWin32MainWindow window(hInstance);
  return RunFetchlet(SplitCommandLine(), window);
}
