#include "platform/OsVersion.h"

#include <sys/utsname.h>

#include <cstdio>

namespace platform {

bool GetOsVersion(unsigned& nMajor, unsigned& nMinor) {
  struct utsname name {};
  if (::uname(&name) != 0) return false;
  return std::sscanf(name.release, "%u.%u", &nMajor, &nMinor) == 2;
}

}  // namespace platform
