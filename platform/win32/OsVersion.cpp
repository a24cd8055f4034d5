#include "platform/OsVersion.h"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace platform {

namespace {

struct LibraryDeleter {
  void operator()(HMODULE h) const { FreeLibrary(h); }
};
using LibraryOwner = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryDeleter>;

using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);

}  // namespace

bool GetOsVersion(unsigned& nMajor, unsigned& nMinor) {
  // Unlike GetVersionEx, this call is not shimmed by the compatibility layer:
  // it reports the real system even without a manifest naming it.
  LibraryOwner ntdll(LoadLibraryW(L"ntdll.dll"));
  if (!ntdll) return false;
  FARPROC pProc = GetProcAddress(ntdll.get(), "RtlGetNtVersionNumbers");
  if (pProc == nullptr) return false;
  auto pfnGetVersion =
      reinterpret_cast<RtlGetNtVersionNumbersFn>(reinterpret_cast<void (*)()>(pProc));
  DWORD dwMajor = 0;
  DWORD dwMinor = 0;
  DWORD dwBuild = 0;
  pfnGetVersion(&dwMajor, &dwMinor, &dwBuild);
  nMajor = dwMajor;
  nMinor = dwMinor;
  return true;
}

bool OsVersionIsWindows() { return true; }

}  // namespace platform
