// The program's start-up in its fixed order, shared by both entries.
#pragma once

#include <string>
#include <vector>

class IMainWindow;

// The direct-install folder of "--IDIR <folder>" (first usable occurrence);
// empty when there is none. args[0] is the program.
std::wstring FindDirectInstallFolder(const std::vector<std::wstring>& args);

// Runs the program with the given front end; returns the exit code (0 after
// the message loop ends, 1 when the run is refused, 2 when the window cannot
// be created).
int RunFetchlet(const std::vector<std::wstring>& args, IMainWindow& window);
