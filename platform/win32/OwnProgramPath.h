// The running program's own file, for the readers of its resources and its
// signature.
#pragma once

#include <string>

namespace platform {

// The whole path, however long; empty when the system cannot give it.
std::wstring OwnProgramPath();

}  // namespace platform
