#!/usr/bin/env bash
# Checks that the release file is reproducible: builds it twice from the
# committed HEAD, in two fresh clones in two temporary folders of different
# names, one after the other, without the compiler cache, and compares them.
#
#   tools/reproduce.sh [preset ...]     (default: windows-release windows64-release)
#
# Prints both SHA-256 sums per preset; exit status 0 when every pair is
# identical, 1 otherwise (with the count of differing bytes). Uncommitted
# changes are not in the check. The four builds take five to six minutes on
# two idle cores: this is not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
REPO=$PWD

if [ $# -gt 0 ]; then presets=("$@"); else presets=(windows-release windows64-release); fi
bash tools/setup.sh >/dev/null
commit=$(git rev-parse HEAD)
work=$(mktemp -d /tmp/fetchlet-reproduce.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Folder names of different lengths: a path that reached the file would move
# everything after it.
places=("$work/a" "$work/second-build/of-the-same-commit")

# build <folder> <preset>: the release file of a fresh clone of the commit.
build() {
  local folder=$1 preset=$2
  if [ ! -d "$folder/.git" ]; then
    mkdir -p "$(dirname "$folder")"
    git clone -q --no-checkout "$REPO" "$folder"
    git -C "$folder" checkout -q --detach "$commit"
  fi
  local log="$work/$preset-$(basename "$folder").log"
  # A compiler cache would hand the second build the first one's objects.
  (cd "$folder" && export CCACHE_DISABLE=1 \
    && cmake --preset "$preset" >"$log" 2>&1 \
    && cmake --build --preset "$preset" -j2 >>"$log" 2>&1) \
    || { echo "reproduce: the $preset build in $folder failed:" >&2
         tail -n 20 "$log" >&2; exit 1; }
}

echo "commit $commit"
status=0
for preset in "${presets[@]}"; do
  files=()
  for place in "${places[@]}"; do
    started=$(date +%s)
    build "$place" "$preset"
    file="$place/build/$preset/Fetchlet.exe"
    files+=("$file")
    printf '%s  %s (%s, built in %ds at %s)\n' "$(sha256sum <"$file" | cut -d' ' -f1)" \
      "$preset" "$place" $(( $(date +%s) - started )) "$(date -u +%H:%M:%SZ)"
  done
  if cmp -s "${files[0]}" "${files[1]}"; then
    echo "$preset: identical ($(stat -c %s "${files[0]}") bytes)"
  else
    echo "$preset: DIFFERENT in $(cmp -l "${files[0]}" "${files[1]}" | wc -l) bytes"
    status=1
  fi
done
exit $status
