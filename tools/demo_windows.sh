#!/usr/bin/env bash
# The demo's Windows run, on the X display it is given (tools/demo.sh starts
# it under xvfb-run): Fetchlet.exe in window mode, a screenshot of the window,
# the install button pressed, a screenshot while it installs, the run's end.
#   tools/demo_windows.sh <program> <screenshot folder>
set -uo pipefail

PROGRAM=$1
SHOTS=$2

wine "$PROGRAM" >/dev/null 2>&1 &
program=$!
window=""
for _ in $(seq 150); do
  window=$(xdotool search --onlyvisible --pid "$program" 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  sleep 0.2
done
if [ -z "$window" ]; then
  echo "demo: the window did not show" >&2
  kill "$program" 2>/dev/null
  exit 1
fi
sleep 1
import -window root "$SHOTS/fetchlet-window.png"
echo "the window: $SHOTS/fetchlet-window.png"
# The install button, where the window's layout puts it.
xdotool mousemove --window "$window" 361 137 click 1
sleep 2.5
import -window root "$SHOTS/fetchlet-progress.png"
echo "the window installing: $SHOTS/fetchlet-progress.png"
code=0
wait "$program" || code=$?
echo "exit code $code"
