// The operating system's major and minor version.
#pragma once

namespace platform {

// false when the version cannot be read.
bool GetOsVersion(unsigned& nMajor, unsigned& nMinor);

}  // namespace platform
