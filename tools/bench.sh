#!/usr/bin/env bash
# Builds the Linux program and prints its figures: the install road's own
# overhead on a 64 MiB installer, what telemetry costs the window, each
# report and the exit with the BI service answering, refusing and silent,
# the size of the shipped Windows file and what makes it up, what stamping a
# signed copy and the program's look-up of its id cost, and last the
# own HTTP client against curl on a 1 GiB download from the local nginx, with
# cp of the same file as the disk's limit, in rounds of all three (arguments
# go to that last one, e.g. --rounds 11). Fails only when something broke,
# never on the figures themselves.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null
cmake --build --preset linux
python3 bench/road_overhead.py --program build/linux/fetchlet --fixture build/linux/tests/fake_client
python3 bench/telemetry_hold.py --program build/linux/fetchlet --probe build/linux/tests/report_probe
cmake --preset windows >/dev/null
cmake --build --preset windows --target fetchlet
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release
python3 bench/release_size.py --program build/windows-release/Fetchlet.exe \
  --map build/windows-release/Fetchlet.map --debug build/windows/Fetchlet.exe
# Stamping a signed copy per user, and the program's look-up of that id under
# Wine with the build Wine runs here.
source tools/wine_target.sh
cmake --preset "$WINDOWS_PRESET" >/dev/null
cmake --build --preset "$WINDOWS_PRESET" --target signature_probe
python3 bench/account_stamp.py --program build/windows-release/Fetchlet.exe \
  --probe "build/$WINDOWS_PRESET/tests/signature_probe.exe"
python3 bench/socket_vs_curl.py --probe build/linux/tests/download_probe "$@"
