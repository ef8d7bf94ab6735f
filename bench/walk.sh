#!/bin/sh
# Counts a generated tree of music files with ZOQ_CountFiles and prints
# files per second for the walk and for the sort, beside find over the
# same tree as a reference.
#   bench/walk.sh [build folder] [files]   (default: build/walk-bench, 20000)
set -e
cd "$(dirname "$0")/.."
BUILD=${1:-build/walk-bench}
FILES=${2:-20000}
[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j2 --target make_sample_tree walk_bench >/dev/null 2>&1
BIN=$BUILD/bin
TREE=$(mktemp -d)
trap 'rm -rf "$TREE"' EXIT
"$BIN/make_sample_tree" names "$TREE/tree" "$FILES" >/dev/null
"$BIN/walk_bench" "$TREE/tree" "$TREE/work"
find "$TREE/tree" -name '*.mp3' >/dev/null  # warm up as the bench's rounds are
start=$(date +%s.%N)
found=$(find "$TREE/tree" -type f -name '*.mp3' | wc -l)
end=$(date +%s.%N)
awk -v n="$found" -v s="$start" -v e="$end" \
  'BEGIN { t = e - s; printf "find (reference) %8.3f s  %10.0f files/s\n", t, n / t }'
