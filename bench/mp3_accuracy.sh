#!/bin/bash
# Accuracy of the MPEG reader on files real encoders make: bitrate, sample
# rate, channel mode and playing time as ZOQ_GetMPEGInfo answers them,
# beside ffprobe and (where installed) mutagen. Needs lame and ffmpeg; without
# them it says so and stops. Details in mp3_accuracy.py.
# Usage: bench/mp3_accuracy.sh [BUILD_DIR] [WORK_DIR] [--verbose]
#   BUILD_DIR defaults to build/bench-linux; WORK_DIR (the encoded files,
#   reused when it exists) to a temporary folder. QUORBEL_HOST names another
#   host program to measure instead (an older build, say).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/bench-linux}
WORK=${2:-}
for tool in lame ffmpeg ffprobe; do
  if ! command -v $tool >/dev/null; then
    echo "mp3_accuracy: skipped: $tool is not installed (Debian: apt-get install lame ffmpeg)"
    exit 0
  fi
done
# The Python that has mutagen, if one has.
PY=python3
for candidate in python3 /usr/bin/python3; do
  if command -v $candidate >/dev/null && $candidate -c 'import mutagen' 2>/dev/null; then
    PY=$candidate
    break
  fi
done
HOST=${QUORBEL_HOST:-}
if [ -z "$HOST" ]; then
  cmake -S "$ROOT" -B "$BUILD" >/dev/null
  cmake --build "$BUILD" --target quorbel_host quorbel -j2 >/dev/null
  HOST=$BUILD/bin/quorbel
fi
if [ -z "$WORK" ]; then
  WORK=$(mktemp -d)
  trap 'rm -rf "$WORK"' EXIT
fi
"$PY" "$ROOT/bench/mp3_accuracy.py" "$HOST" "$WORK" "${@:3}"
