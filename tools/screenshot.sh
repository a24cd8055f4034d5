#!/usr/bin/env bash
# Pictures of the Windows program as a user sees it: Fetchlet.exe under Wine
# on a virtual display of its own, each picture cut to the window it shows.
#   tools/screenshot.sh [folder]      (default build/screenshots)
#   window.png          the folder choice, as the program starts
#   install-hover.png   the pointer on the install button
#   progress.png        the progress state (install pressed, no server to reach)
#   contact-dialog.png  the contact dialog (a run with --IDIR and no server)
# Needs no display; the Wine prefix and every process it starts go at the end.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
OUT=$(mkdir -p "${1:-build/screenshots}" && cd "${1:-build/screenshots}" && pwd)

WINDOW_TIMEOUT=30      # from start until a window shows
ROAD_TIMEOUT=120       # from start until the road has failed on every source
EXIT_TIMEOUT=20        # from a close until the process is gone
CONTACT_CAPTION="《Ashfall》在安装过程中遇到未知错误"
FULL_PACKAGE_CAPTION="下载完整客户端"
INSTALL_CENTRE=(361 137)   # the install button, 300x50 at (211,112)

bash tools/setup.sh
source tools/wine_target.sh
PROGRAM="$ROOT/build/$WINDOWS_PRESET/Fetchlet.exe"
cmake --preset "$WINDOWS_PRESET" >/dev/null
cmake --build --preset "$WINDOWS_PRESET" --target fetchlet

WORK=$(mktemp -d -t fetchlet-shots.XXXXXX)
XVFB_PID=""
RUN_PID=""
export WINEPREFIX="$WORK/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  LANG=zh_CN.UTF-8
unset "${!LC_@}" 2>/dev/null || true

cleanup() {
  stop_run 0
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || true
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

fail() {
  echo "screenshot: $*" >&2
  exit 1
}

# Ends the program started last: it is given that many seconds (default the
# exit time-out), then killed.   stop_run [seconds]
stop_run() {
  [ -n "$RUN_PID" ] || return 0
  for _ in $(seq $((${1:-$EXIT_TIMEOUT} * 5))); do
    kill -0 "$RUN_PID" 2>/dev/null || break
    sleep 0.2
  done
  kill "$RUN_PID" 2>/dev/null || true
  wait "$RUN_PID" 2>/dev/null || true
  RUN_PID=""
}

# The first visible window of the run whose name matches a glob pattern,
# within a time-out. (xdotool's own name search mismatches Chinese names.)
#   find_window <seconds> <pattern>
find_window() {
  local window name
  for _ in $(seq $(($1 * 5))); do
    for window in $(xdotool search --onlyvisible --pid "$RUN_PID" 2>/dev/null); do
      name=$(timeout 10 xdotool getwindowname "$window" 2>/dev/null) || continue
      # shellcheck disable=SC2053  # the pattern is meant as a glob
      if [[ $name == $2 ]]; then
        echo "$window"
        return 0
      fi
    done
    kill -0 "$RUN_PID" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

# The window's rectangle of the screen as a PNG.   shot <window> <file>
shot() {
  local X Y WIDTH HEIGHT geometry
  geometry=$(timeout 10 xdotool getwindowgeometry --shell "$1") || return 1
  eval "$(grep -E '^(X|Y|WIDTH|HEIGHT)=[0-9]+$' <<<"$geometry")"
  timeout 30 import -window root "$WORK/screen.png"
  timeout 30 convert "$WORK/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip \
    -define png:compression-level=9 "$OUT/$2"
  echo "$OUT/$2"
}

echo "preparing a Wine prefix (about half a minute) ..."
timeout 240 env -u DISPLAY wineboot -i >"$WORK/boot.log" 2>&1 || fail "wineboot failed: $(cat "$WORK/boot.log")"
# The window's font, mapped to the CJK font the setup installs.
timeout 60 env -u DISPLAY wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v "微软雅黑" /t REG_SZ /d "WenQuanYi Micro Hei" /f >>"$WORK/boot.log" 2>&1 \
  || fail "the font could not be mapped: $(cat "$WORK/boot.log")"
# The prefix was made without a display: the runs start a server of their own
# on the virtual one.
timeout 30 wineserver -k >/dev/null 2>&1 || true
timeout 30 wineserver -w >/dev/null 2>&1 || true

# An X server of its own; it writes its display number when it is ready.
Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$WORK/display" >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 75); do
  [ -s "$WORK/display" ] && break
  sleep 0.2
done
[ -s "$WORK/display" ] || fail "Xvfb did not start"
DISPLAY=":$(head -n 1 "$WORK/display")"
export DISPLAY

# Window mode: the folder choice, then the pointer on the install button, then
# the install pressed. No server answers, so the road stays a while on its
# first status line before it gives up.
(cd "$WORK" && exec wine "$PROGRAM" >"$WORK/window-run.log" 2>&1) &
RUN_PID=$!
window=$(find_window "$WINDOW_TIMEOUT" "*Ashfall*极速下载器*") || fail "the window did not show"
xdotool mousemove 0 0
sleep 1
shot "$window" window.png
xdotool mousemove --window "$window" "${INSTALL_CENTRE[@]}"
sleep 1
shot "$window" install-hover.png
xdotool click 1
xdotool mousemove 0 0
sleep 2.5
shot "$window" progress.png
stop_run 0

# No window: the road fails on every source, the full package is declined,
# the contact dialog comes. Its close (Alt+F4) ends the run. The preset's test
# seam shortens the pauses between tries.
(cd "$WORK" && FETCHLET_TEST_RETRY_PAUSE_MS=10 exec wine "$PROGRAM" --IDIR 'C:\Games' \
  >"$WORK/contact-run.log" 2>&1) &
RUN_PID=$!
box=$(find_window "$ROAD_TIMEOUT" "$FULL_PACKAGE_CAPTION") || fail "no box \"$FULL_PACKAGE_CAPTION\""
xdotool windowfocus --sync "$box" key Tab key Return
dialog=$(find_window "$WINDOW_TIMEOUT" "$CONTACT_CAPTION") || fail "no contact dialog"
sleep 1
shot "$dialog" contact-dialog.png
xdotool windowfocus --sync "$dialog" key alt+F4
stop_run
