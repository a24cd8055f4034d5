#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: the Linux
# build natively, the Windows build under Wine (headless, on a fresh prefix).
set -uo pipefail
cd "$(dirname "$0")/.."
STARTED=$(date +%s)

# Each stage's time, after it, and the whole command's at the end.
STAGE_STARTED=$STARTED
stage_done() {
  local took=$(( $(date +%s) - STAGE_STARTED ))
  printf '== %s: %dm%02ds\n' "$1" $((took / 60)) $((took % 60))
  STAGE_STARTED=$(date +%s)
}
# build <preset> [build options]
build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$@" || exit 1
  stage_done "build $1"
}

bash tools/setup.sh || exit 1
source tools/wine_target.sh
stage_done "set-up"

# What the whole run shares: the Windows tests' prefix, and the keys and
# certificates the suites make with openssl (each suite makes its own when run
# alone).
WINEPREFIX=$(mktemp -d /tmp/fetchlet-wine.XXXXXX)
FETCHLET_TEST_KEYS=$(mktemp -d /tmp/fetchlet-keys.XXXXXX)
export FETCHLET_TEST_KEYS
cleanup() {
  WINEPREFIX=$WINEPREFIX timeout 30 wineserver -k >/dev/null 2>&1
  rm -rf "$WINEPREFIX" "$FETCHLET_TEST_KEYS"
}
trap cleanup EXIT

build linux
if [ "$WINDOWS_PRESET" = windows ]; then
  build windows
else
  # Its tests cannot run here; the shipped program must still build.
  build windows --target fetchlet
  build "$WINDOWS_PRESET"
fi
# The release file the road test also runs (the shipped one, or its 64-bit twin).
build "$WINDOWS_PRESET-release"
build linux-sanitize
build linux-tsan

# The Windows tests' prefix boots while the Linux tests run.
(
  export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=zh_CN.UTF-8
  timeout 180 wineboot -i
  timeout 60 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v "微软雅黑" /t REG_SZ /d "WenQuanYi Micro Hei" /f
  # No window manager runs on the virtual screen: windows left to one make
  # Wine wait 2 s at every hide for a confirmation that never comes.
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
  # The boot's server knows no display: the tests' one starts on the virtual
  # screen, or no window could be made.
  timeout 30 wineserver -k
  timeout 30 wineserver -w
) >/dev/null 2>&1 </dev/null &
BOOT=$!

status=0
echo "== Linux tests"
ctest --preset linux -j2 || status=1
stage_done "Linux tests"

echo "== Linux unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, fuzzers"
ctest --preset linux-sanitize -j2 || status=1
stage_done "sanitizer tests"

echo "== The report sender, the reporter and the BI client under ThreadSanitizer"
ctest --preset linux-tsan || status=1
stage_done "ThreadSanitizer tests"

echo "== Windows tests (Wine, $WINDOWS_PRESET build)"
wait $BOOT
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=zh_CN.UTF-8
# The e2e suites share this prefix and the screen it starts on (tests/e2e/wine.py).
export FETCHLET_TEST_WINEPREFIX=$WINEPREFIX
# A persistent server and one finished start keep each test exe from paying
# the server's start-up and output-pipe wait; its output goes nowhere, so
# nothing waits on its pipe.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wineserver -p </dev/null >/dev/null 2>&1
  timeout 60 wine cmd /c exit >/dev/null 2>&1
  ctest --preset "$WINDOWS_PRESET"' || status=1
stage_done "Windows tests"

TOOK=$(( $(date +%s) - STARTED ))
printf '== test command: %dm%02ds in all, %s\n' $((TOOK / 60)) $((TOOK % 60)) \
  "$([ $status = 0 ] && echo "every test passed" || echo "SOME TESTS FAILED")"
exit $status
