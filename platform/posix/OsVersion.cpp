#include "platform/OsVersion.h"

#include <sys/utsname.h>

#include <cstdio>

namespace platform {

bool GetOsVersion(unsigned& nMajor, unsigned& nMinor) {
  struct utsname name {};
  if (::uname(&name) != 0) return false;
  return std::sscanf(name.release, "%u.%u", &nMajor, &nMinor) == 2;
}

// The kernel release says nothing about a Windows version: 5.1 is a recent
// kernel, not Windows XP.
bool OsVersionIsWindows() { return false; }

}  // namespace platform
