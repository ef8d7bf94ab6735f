#!/bin/bash
# Times the MPEG reader over a generated collection beside the floor (open,
# first 4 KB, last 128 bytes, close). The collection: COUNT sparse files of
# 2 to 8 MB in folders of 200, 40% behind an ID3v2 tag (UTF-16 text frames,
# some with a picture of 100 to 800 KB), 80% with an ID3v1 tag.
# Both loops run on a warm cache: the figures compare the work per file, not
# the disk.
# Usage: bench/mp3info.sh [BUILD_DIR] [COUNT] [TREE_DIR]
#   COUNT defaults to 20000; an existing TREE_DIR is reused as it is.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/bench-linux}
COUNT=${2:-20000}
TREE=${3:-}
cmake -S "$ROOT" -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target make_sample_tree mp3info_bench -j2 >/dev/null
BENCH=$BUILD/bin/mp3info_bench

if [ -z "$TREE" ]; then
  TREE=$(mktemp -d)
  trap 'rm -rf "$TREE"' EXIT
fi
if [ -z "$(ls -A "$TREE")" ]; then
  "$BUILD/bin/make_sample_tree" reader "$TREE" "$COUNT"
fi
"$BENCH" time "$TREE" 5
