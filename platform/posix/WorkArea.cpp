#include "platform/WorkArea.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

void GetWorkAreaSize(int& nWidth, int& nHeight) {
  // The terminal is this front end's screen: its size in character cells.
  struct winsize size {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0) {
    nWidth = size.ws_col;
    nHeight = size.ws_row;
  } else {
    nWidth = nHeight = 0;
  }
}

}  // namespace platform
