// libcurl's process-wide initialisation, done once for every user of the
// library and never undone: threads may still transfer while the process ends.
#pragma once

namespace platform {

void EnsureCurlInitialised();

}  // namespace platform
