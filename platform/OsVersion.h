// The operating system's major and minor version.
#pragma once

namespace platform {

// false when the version cannot be read.
bool GetOsVersion(unsigned& nMajor, unsigned& nMinor);

// Whether GetOsVersion's numbers are a Windows version. Off Windows they are
// the kernel's release: text for the reports, never input to a Windows rule.
bool OsVersionIsWindows();

}  // namespace platform
