#!/usr/bin/env bash
# Runs every fuzzer (clang's libFuzzer under ASan and UBSan) for a given time
# on its seed corpus and prints, per fuzzer, the executions and the crashes.
#   tools/fuzz.sh [seconds per fuzzer, default 600]
# A crash's input is kept under build/fuzz/<fuzzer>/ (crash-*); the run then
# ends with code 1.
set -uo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-600}

bash tools/setup.sh >/dev/null || exit 1
cmake --preset linux-sanitize >/dev/null && cmake --build --preset linux-sanitize >/dev/null || exit 1

status=0
printf '%-16s %10s %14s %8s\n' fuzzer seconds executions crashes
for seeds in tests/fuzz/seeds/*/; do
  name=$(basename "$seeds")
  work="build/fuzz/$name"
  mkdir -p "$work/corpus"
  log="$work/run.log"
  (cd "$work" && "$OLDPWD/build/linux-sanitize/tests/fuzz/$name" -max_total_time="$SECONDS_EACH" \
      -timeout=10 -print_final_stats=1 corpus "$OLDPWD/$seeds") >"$log" 2>&1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  crashes=$(find "$work" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' -o -maxdepth 1 -name 'timeout-*' | wc -l)
  [ "$crashes" = 0 ] || status=1
  printf '%-16s %10s %14s %8s\n' "$name" "$SECONDS_EACH" "${runs:-?}" "$crashes"
done
exit $status
