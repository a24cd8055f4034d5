#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: the Linux
# build natively, the Windows build under Wine (headless). Each end-to-end
# suite has a network (and under Wine a display and a prefix) of its own, so
# suites run side by side.
set -uo pipefail
cd "$(dirname "$0")/.."
STARTED=$(date +%s)

# Tests at once. The end-to-end suites mostly wait on their peers; the
# sanitizers' fuzzers keep both cores busy.
LINUX_JOBS=${FETCHLET_LINUX_TEST_JOBS:-4}
SANITIZER_JOBS=2
WINDOWS_E2E_JOBS=${FETCHLET_WINDOWS_TEST_JOBS:-3}
WINDOWS_UNIT_JOBS=3
export WINDOWS_PRESET WINDOWS_UNIT_JOBS

minutes() {
  printf '%dm%02ds' $(($1 / 60)) $(($1 % 60))
}
# Each stage's time, after it, and the whole command's at the end.
STAGE_STARTED=$STARTED
stage_done() {
  echo "== $1: $(minutes $(( $(date +%s) - STAGE_STARTED )))"
  STAGE_STARTED=$(date +%s)
}
# build <preset> [build options]
build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$@" || exit 1
  stage_done "build $1"
}
# The compiler cache's counts of reused and compiled files, summed.
cache_counts() {
  ccache --print-stats 2>/dev/null | awk '
    $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hits += $2 }
    $1 == "cache_miss" { misses += $2 }
    END { print hits + 0, misses + 0 }'
}

bash tools/setup.sh || exit 1
source tools/wine_target.sh
stage_done "set-up"

# What the whole run shares: a booted Wine prefix for the Windows unit tests, a
# copy of it that no process uses, which each end-to-end suite copies again
# (tests/e2e/wine.py), and the keys and certificates the suites make with
# openssl (each suite makes its own when run alone).
WINEPREFIX=$(mktemp -d /tmp/fetchlet-wine.XXXXXX)
TEMPLATE_PREFIX=$(mktemp -d /tmp/fetchlet-wine-template.XXXXXX)
FETCHLET_TEST_KEYS=$(mktemp -d /tmp/fetchlet-keys.XXXXXX)
RESULTS=$(mktemp -d /tmp/fetchlet-results.XXXXXX)
export FETCHLET_TEST_KEYS
cleanup() {
  WINEPREFIX=$WINEPREFIX timeout 30 wineserver -k >/dev/null 2>&1
  rm -rf "$WINEPREFIX" "$TEMPLATE_PREFIX" "$FETCHLET_TEST_KEYS" "$RESULTS"
}
trap cleanup EXIT

# The prefix boots while the builds run.
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
  cp -a "$WINEPREFIX/." "$TEMPLATE_PREFIX"
) >/dev/null 2>&1 </dev/null &
BOOT=$!

CACHE_BEFORE=$(cache_counts)
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
read -r HITS_BEFORE MISSES_BEFORE <<<"$CACHE_BEFORE"
read -r HITS MISSES <<<"$(cache_counts)"
HITS=$((HITS - HITS_BEFORE))
COMPILES=$((HITS + MISSES - MISSES_BEFORE))
if [ "$COMPILES" -gt 0 ]; then
  echo "== compiler cache: $HITS of $COMPILES compiles reused ($((100 * HITS / COMPILES))%)"
else
  echo "== compiler cache: nothing compiled"
fi

wait $BOOT
stage_done "wait for the Wine prefix"

status=0
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=zh_CN.UTF-8
export FETCHLET_TEST_WINEPREFIX=$TEMPLATE_PREFIX
# The Windows end-to-end suites mostly wait on their peers and on the
# shipped program's pace: they run beside the Linux tests, each in a network,
# a process list, a prefix copy and a display of its own. Their output follows
# their end.
echo "== Windows end-to-end suites (Wine, $WINDOWS_PRESET build), beside the Linux tests"
E2E_STARTED=$(date +%s)
(
  ctest --preset "$WINDOWS_PRESET" -L e2e -j"$WINDOWS_E2E_JOBS" >"$RESULTS/windows-e2e.log" 2>&1
  echo $? >"$RESULTS/windows-e2e.status"
  echo $(( $(date +%s) - E2E_STARTED )) >"$RESULTS/windows-e2e.seconds"
) </dev/null &
E2E=$!

echo "== Linux tests"
ctest --preset linux -j"$LINUX_JOBS" || status=1
stage_done "Linux tests"

echo "== The report sender, the reporter and the BI client under ThreadSanitizer"
ctest --preset linux-tsan -j"$LINUX_JOBS" || status=1
stage_done "ThreadSanitizer tests"

echo "== Linux unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, fuzzers"
ctest --preset linux-sanitize -j"$SANITIZER_JOBS" || status=1
stage_done "sanitizer tests"

echo "== Windows unit tests (Wine, $WINDOWS_PRESET build)"
# A persistent server and one finished start keep each test's exe from paying
# the server's start-up and output-pipe wait; its output goes nowhere, so
# nothing waits on its pipe. The tests that show windows share the virtual
# screen and take it in turn (tests/CMakeLists.txt).
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wineserver -p </dev/null >/dev/null 2>&1
  timeout 60 wine cmd /c exit >/dev/null 2>&1
  ctest --preset "$WINDOWS_PRESET" -LE e2e -j"$WINDOWS_UNIT_JOBS"' </dev/null || status=1
stage_done "Windows unit tests"

wait $E2E
cat "$RESULTS/windows-e2e.log"
[ "$(cat "$RESULTS/windows-e2e.status" 2>/dev/null)" = 0 ] || status=1
stage_done "the rest of the Windows end-to-end suites"
echo "== Windows end-to-end suites: $(minutes "$(cat "$RESULTS/windows-e2e.seconds" 2>/dev/null || echo 0)") from their start"

TOOK=$(( $(date +%s) - STARTED ))
echo "== test command: $(minutes $TOOK) in all, $([ $status = 0 ] && echo "every test passed" || echo "SOME TESTS FAILED")"
exit $status
