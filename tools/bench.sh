#!/usr/bin/env bash
# Builds the Linux program and prints its figures: the install road's own
# overhead on a 64 MiB installer, how long a forwarded report holds its
# thread on the BI channel, and last the own HTTP client against curl on a
# 1 GiB download from the local nginx. Fails only when something broke,
# never on the figures themselves.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null
cmake --build --preset linux
python3 bench/road_overhead.py --program build/linux/fetchlet --fixture build/linux/tests/fake_client
python3 bench/bi_report_hold.py --probe build/linux/tests/bi_probe
python3 bench/socket_vs_curl.py --probe build/linux/tests/download_probe "$@"
