#!/usr/bin/env bash
# The demo: builds the Linux program, starts the local statistics server from
# the tree's nginx configuration, runs the program once in window mode and
# shows what the run left behind (log, device record) and what it reported.
# Run from anywhere; everything it makes lives under build/demo.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

DEMO="$ROOT/build/demo"
PROGRAM="$ROOT/build/linux/fetchlet"
STATS_PORT=8032
RUN_TIMEOUT=600        # a person at the terminal; a fed run takes seconds
NGINX_PID=""

section() { printf '\n==== %s ====\n' "$1"; }

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

stop_nginx() {
  [ -n "$NGINX_PID" ] || return 0
  kill -QUIT "$NGINX_PID" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$NGINX_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$NGINX_PID" 2>/dev/null || true
  wait "$NGINX_PID" 2>/dev/null || true
  NGINX_PID=""
}
trap stop_nginx EXIT

bash tools/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target fetchlet

rm -rf "$DEMO"
mkdir -p "$DEMO/nginx/logs" "$DEMO/nginx/temp" "$DEMO/data" "$DEMO/run"
chmod 755 "$DEMO/nginx"

section "statistics server (nginx on 127.0.0.1:$STATS_PORT)"
if port_open "$STATS_PORT"; then
  echo "demo: port $STATS_PORT is taken; stop whatever listens there first" >&2
  exit 1
fi
nginx -p "$DEMO/nginx/" -c "$ROOT/tools/nginx/fetchlet.conf" -e logs/error.log \
  -g "daemon off;" </dev/null &
NGINX_PID=$!
for _ in $(seq 100); do
  port_open "$STATS_PORT" && break
  kill -0 "$NGINX_PID" 2>/dev/null || break
  sleep 0.1
done
if ! port_open "$STATS_PORT"; then
  echo "demo: nginx did not start:" >&2
  cat "$DEMO/nginx/logs/error.log" >&2 || true
  exit 1
fi
echo "listening; access log $DEMO/nginx/logs/stats.log"

section "the program in window mode"
export FETCHLET_COMMON_APPDATA="$DEMO/data"
status=0
if [ -t 0 ]; then
  echo "(Enter starts the install, q closes the window and asks first)"
  # --foreground: the program must stay in the terminal's foreground to read it.
  (cd "$DEMO/run" && timeout --foreground "$RUN_TIMEOUT" "$PROGRAM") || status=$?
else
  # Nobody at a terminal: press the close button and confirm.
  echo "> q"
  echo "> y"
  (cd "$DEMO/run" && printf 'q\ny\n' | timeout "$RUN_TIMEOUT" "$PROGRAM") || status=$?
fi
echo "exit code $status"
# The sender has handed its last request over before the exit; give nginx a
# moment to write its line, then stop it.
sleep 0.5
stop_nginx

section "log file: $DEMO/data/Tarn.net/Fetchlet-.log"
cat "$DEMO/data/Tarn.net/Fetchlet-.log" 2>/dev/null || echo "(none)"

section "device record: $DEMO/data/Tarn.net/Tarnnet.db"
cat "$DEMO/data/Tarn.net/Tarnnet.db" 2>/dev/null || echo "(none)"

section "statistics requests, decoded"
PYTHONPATH="$ROOT/tests/e2e" python3 - "$DEMO/nginx/logs/stats.log" <<'PY'
import sys
from pathlib import Path
from peers import StatsRequest, stats_problems

log = Path(sys.argv[1])
lines = log.read_text().splitlines() if log.exists() else []
if not lines:
    print("(none)")
for number, line in enumerate(lines, 1):
    request = StatsRequest(line)
    print("#%d  dataType=%s  (HTTP %d)" % (number, request.fields.get("dataType"), request.status))
    for key in request.keys:
        if key != "extend":
            print("    %-12s %s" % (key, request.fields[key]))
    if "extend" in request.fields:
        print("    %-12s %s" % ("extend", request.raw["extend"]))
        print("    %-12s %s" % ("  decoded", request.fields["extend"]))
    problems = stats_problems(request)
    print("    %-12s %s" % ("check", "sign and form OK" if not problems else "; ".join(problems)))
PY

section "done"
exit 0
