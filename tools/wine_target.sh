# Sourced by the scripts that run the Windows program under Wine. Picks the
# build Wine can run here: the shipped 32-bit one, or, on a machine that runs
# no 32-bit code (Debian's 32-bit Wine loader cannot start there), the 64-bit
# test build under Wine's 64-bit loader. Sets WINDOWS_PRESET and WINEARCH.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  WINDOWS_PRESET=windows
  WINEARCH=win32
else
  WINDOWS_PRESET=windows64
  WINEARCH=win64
  PATH="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64:$PATH"
  echo "note: this machine runs no 32-bit code; the Windows tests use the 64-bit build (build/windows64)"
fi
export WINDOWS_PRESET WINEARCH PATH
