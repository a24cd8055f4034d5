// The calling thread's last error and the system's text for it.
#pragma once

#include <string>

namespace platform {

// The system's code for a path longer than its path buffers take.
extern const unsigned long kPathTooLongError;

unsigned long GetLastErrorCode();
void SetLastErrorCode(unsigned long nCode);
// The system's message for a code, trailing line break included; empty when
// the system has none.
std::wstring SystemErrorText(unsigned long nCode);

}  // namespace platform
