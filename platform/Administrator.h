// Whether the process runs with administrator rights.
#pragma once

namespace platform {

bool IsAdministrator();

}  // namespace platform
