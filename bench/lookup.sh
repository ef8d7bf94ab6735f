#!/bin/sh
# Times ZOQ_At_Find and ZOQ_SearchFile over a 100,000-line list and index:
# the first request after a new list and later (warm) requests, beside a
# floor (memmem/memchr over the list in memory) and grep.
#   bench/lookup.sh [build folder] [lines]     (default build/lookup-bench, 100000)
set -e
cd "$(dirname "$0")/.."
BUILD=${1:-build/lookup-bench}
LINES=${2:-100000}
[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" >/dev/null
if ! log=$(cmake --build "$BUILD" -j2 --target lookup_bench 2>&1); then
  echo "$log"
  exit 1
fi
"$BUILD/bin/lookup_bench" "$LINES"
