#include "platform/WorkArea.h"

#include <windows.h>

namespace platform {

void GetWorkAreaSize(int& nWidth, int& nHeight) {
  RECT rcWork{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0)) {
    nWidth = 0;
    nHeight = 0;
    return;
  }
  nWidth = rcWork.right - rcWork.left;
  nHeight = rcWork.bottom - rcWork.top;
}

}  // namespace platform
