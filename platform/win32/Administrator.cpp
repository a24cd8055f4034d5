#include "platform/Administrator.h"

#include <windows.h>

#include <memory>
#include <type_traits>

#include "platform/OsVersion.h"

namespace platform {

namespace {

struct HandleDeleter {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using HandleOwner = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleDeleter>;

struct SidDeleter {
  void operator()(PSID p) const { FreeSid(p); }
};
using SidOwner = std::unique_ptr<std::remove_pointer_t<PSID>, SidDeleter>;

// From Vista on, an administrator runs filtered unless elevated: only the
// token's elevation flag tells.
bool IsProcessElevated() {
  HANDLE hToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) return false;
  HandleOwner token(hToken);
  TOKEN_ELEVATION elevation{};
  DWORD dwSize = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &dwSize)) {
    return false;
  }
  return dwSize == sizeof(elevation) && elevation.TokenIsElevated != 0;
}

bool IsAdministratorsMember() {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID pSid = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &pSid)) {
    return false;
  }
  SidOwner sid(pSid);
  BOOL bMember = FALSE;
  if (!CheckTokenMembership(nullptr, sid.get(), &bMember)) return false;
  return bMember != FALSE;
}

}  // namespace

bool IsAdministrator() {
  unsigned nMajor = 0;
  unsigned nMinor = 0;
  unsigned nVersion = 0;  // an unknown version takes the older road
  if (GetOsVersion(nMajor, nMinor)) nVersion = (nMajor & 0xFF) << 8 | (nMinor & 0xFF);
  if (nVersion >= 0x0600) return IsProcessElevated();
  return IsAdministratorsMember();
}

}  // namespace platform
