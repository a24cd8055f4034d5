// Size of the screen's work area (Linux: the terminal's size, 0 without one).
#pragma once

namespace platform {

void GetWorkAreaSize(int& nWidth, int& nHeight);

}  // namespace platform
