#include "platform/SingleInstance.h"

#include <windows.h>

namespace platform {

bool IsAnotherInstanceRunning() {
  // The main window's class is the key: the window exists exactly while an
  // instance runs in window mode.
  return FindWindowW(L"TarnFetchlet", nullptr) != nullptr;
}

}  // namespace platform
