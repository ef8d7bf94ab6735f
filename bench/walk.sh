#!/bin/sh
# Counts a generated tree of music files with ZOQ_CountFiles and prints
# files per second for the walk and for the sort, beside find over the
# same tree as a reference.
#   bench/walk.sh [folder of built programs] [files]   (default: builds build/walk-bench, 20000)
set -e
cd "$(dirname "$0")/.."
BIN=$1
FILES=${2:-20000}
if [ -z "$BIN" ]; then
  [ -f build/walk-bench/CMakeCache.txt ] || cmake -S . -B build/walk-bench >/dev/null
  cmake --build build/walk-bench -j2 --target walk_bench >/dev/null 2>&1
  BIN=build/walk-bench/bin
fi
TREE=$(mktemp -d)
trap 'rm -rf "$TREE"' EXIT
"$BIN/walk_bench" "$FILES" "$TREE"
find "$TREE/tree" -name '*.mp3' >/dev/null  # warm up as the bench's rounds are
start=$(date +%s.%N)
found=$(find "$TREE/tree" -type f -name '*.mp3' | wc -l)
end=$(date +%s.%N)
awk -v n="$found" -v s="$start" -v e="$end" \
  'BEGIN { t = e - s; printf "find (reference) %8.3f s  %10.0f files/s\n", t, n / t }'
