#!/usr/bin/env bash
# Builds the Linux program and compares its own HTTP client with curl on a
# 1 GiB download from the local nginx, then times how long a forwarded report
# holds its thread on the BI channel. Prints figures; fails only when
# something broke, never on the figures themselves.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null
cmake --build --preset linux
python3 bench/socket_vs_curl.py --probe build/linux/tests/download_probe "$@"
python3 bench/bi_report_hold.py --probe build/linux/tests/bi_probe
