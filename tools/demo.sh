#!/usr/bin/env bash
# The demo: the whole install road on loopback. Local servers (nginx as the
# three download sources and the statistics server, the HTTPS BI test
# service) serve a demo installer; the Linux program installs it from the
# terminal, then the Windows program does the same under Wine on a virtual
# display and leaves screenshots of its window. Works without a display.
# Everything it makes lives under build/demo.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

DEMO="$ROOT/build/demo"
RUN_TIMEOUT=600        # a person at the terminal; a fed run takes seconds
WINE_TIMEOUT=120
PEERS_PID=""

section() { printf '\n==== %s ====\n' "$1"; }

stop_peers() {
  [ -n "$PEERS_PID" ] || return 0
  exec {PEERS_IN}>&- 2>/dev/null || true
  for _ in $(seq 100); do
    kill -0 "$PEERS_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill "$PEERS_PID" 2>/dev/null || true
  PEERS_PID=""
}
trap stop_peers EXIT

# One command to the servers; prints their answer up to its last line.
peers() {
  local last=$2 line
  echo "$1" >&"$PEERS_IN"
  while IFS= read -r -t 30 line <&"$PEERS_OUT"; do
    [ "$line" = "$last" ] && return 0
    echo "$line"
  done
  echo "demo: the servers did not answer" >&2
  return 1
}

bash tools/setup.sh
source tools/wine_target.sh
WINDOWS_BUILD="$ROOT/build/$WINDOWS_PRESET"
cmake --preset linux >/dev/null
cmake --build --preset linux --target fetchlet fake_client
cmake --preset "$WINDOWS_PRESET" >/dev/null
cmake --build --preset "$WINDOWS_PRESET" --target fetchlet fake_client trust_root

rm -rf "$DEMO"
mkdir -p "$DEMO/linux/data" "$DEMO/linux/run" "$DEMO/peers"
chmod 755 "$DEMO" "$DEMO/peers"

section "servers: download sources and statistics (nginx), BI service (HTTPS)"
coproc PEERS { exec python3 -u tools/demo_peers.py "$DEMO/peers" 2>"$DEMO/peers.log"; }
PEERS_PID=$PEERS_PID
exec {PEERS_IN}>&"${PEERS[1]}" {PEERS_OUT}<&"${PEERS[0]}"
if ! IFS= read -r -t 30 ready <&"$PEERS_OUT" || [ "$ready" != ready ]; then
  echo "demo: the servers did not start:" >&2
  cat "$DEMO/peers.log" >&2
  exit 1
fi
echo "listening on 127.0.0.1: 8040 (downloads), 8032 (statistics), 8443 (BI)"

# The demo installer takes a moment, so the window's install animation shows;
# the demo platform answers and stays up a few seconds.
export FETCHLET_FIXTURE_INSTALL_MS=3000 FETCHLET_FIXTURE_PLATFORM_MS=3000

section "Linux: the terminal front end"
peers "serve $ROOT/build/linux/tests/fake_client" "serving $ROOT/build/linux/tests/fake_client as ashfallbattle_demo.exe"
status=0
if [ -t 0 ]; then
  echo "(type a folder, for example $DEMO/linux/Games, then Enter to install; q closes)"
  (cd "$DEMO/linux/run" && FETCHLET_COMMON_APPDATA="$DEMO/linux/data" \
    timeout --foreground "$RUN_TIMEOUT" "$ROOT/build/linux/fetchlet") || status=$?
else
  echo "> fetchlet --IDIR $DEMO/linux/Games"
  (cd "$DEMO/linux/run" && FETCHLET_COMMON_APPDATA="$DEMO/linux/data" \
    timeout "$RUN_TIMEOUT" "$ROOT/build/linux/fetchlet" --IDIR "$DEMO/linux/Games" </dev/null) || status=$?
fi
echo "exit code $status"
echo "install folder:"
LC_ALL=C ls -l "$DEMO/linux/Games/TarnGame/ashfallbattle" 2>/dev/null || echo "(none)"
echo "device record:"
cat "$DEMO/linux/data/Tarn.net/Tarnnet.db" 2>/dev/null || echo "(none)"
peers report "end of report"

section "Windows: Fetchlet.exe under Wine on a virtual display"
export WINEPREFIX="$DEMO/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=zh_CN.UTF-8
unset "${!LC_@}" 2>/dev/null || true
echo "preparing a Wine prefix (about half a minute) ..."
timeout 240 wineboot -i >/dev/null 2>&1
# The window's font, mapped to the CJK font the setup installs.
timeout 60 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v "微软雅黑" /t REG_SZ /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
# The Windows program runs only an installer of its publisher: the demo
# signs its installer under a root of its own that the prefix trusts.
python3 tools/demo_sign.py "$WINDOWS_BUILD/tests/fake_client.exe" "$WINDOWS_BUILD/tests/trust_root.exe" \
  "$DEMO/signed-installer.exe"
# The prefix was made without a display: the run starts a server of its own
# on the virtual one.
wineserver -k >/dev/null 2>&1 || true
timeout 30 wineserver -w >/dev/null 2>&1 || true
peers "serve $DEMO/signed-installer.exe" "serving $DEMO/signed-installer.exe as ashfallbattle_demo.exe"

timeout "$WINE_TIMEOUT" xvfb-run -a -s "-screen 0 1024x768x24" \
  bash tools/demo_windows.sh "$WINDOWS_BUILD/Fetchlet.exe" "$DEMO" \
  || echo "demo: the Windows run did not finish"
wineserver -k >/dev/null 2>&1 || true
echo "install folder:"
LC_ALL=C ls -l "$WINEPREFIX/drive_c/TarnGame/ashfallbattle" 2>/dev/null || echo "(none)"
echo "log file:"
iconv -f GBK -t UTF-8 "$WINEPREFIX/drive_c/ProgramData/Tarn.net/Fetchlet-.log" 2>/dev/null || echo "(none)"
peers report "end of report"

section "done"
exit 0
