#!/usr/bin/env bash
# The generation run on a slow device on purpose: a 5,000-file tree seen
# through latencyfs (bench/latencyfs.c), which adds 2 ms to every open and
# every read. Each round pairs the serial floor program with the full run
# through the same mount; then the run once per number of readers.
#
# usage: bench/generate_slow.sh [BUILD_DIR]
#   QUORBEL_SLOW_FILES (5000), QUORBEL_SLOW_LATENCY_US (2000),
#   QUORBEL_SLOW_ROUNDS (2), QUORBEL_CURVE ("1 2 4 8 16 32 64"; empty: none)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/generate-bench}"
files="${QUORBEL_SLOW_FILES:-5000}"
latency="${QUORBEL_SLOW_LATENCY_US:-2000}"
rounds="${QUORBEL_SLOW_ROUNDS:-2}"
curve="${QUORBEL_CURVE-1 2 4 8 16 32 64}"

skip() { echo "generate_slow: SKIPPED: $*"; exit 0; }

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target make_sample_tree generate_bench generate_floor_bench quorbel zipdll >/dev/null
cmake --build "$build" -j2 --target latencyfs >/dev/null 2>&1 ||
  skip "latencyfs cannot be built here (libfuse3-dev missing; scripts/setup.sh installs it)"
[ -c /dev/fuse ] || skip "no /dev/fuse on this machine"
command -v fusermount3 >/dev/null || skip "fusermount3 missing (package fuse3)"
bin="$(cd "$build/bin" && pwd)"
root="$(mktemp -d "${TMPDIR:-/tmp}/quorbel-slow-XXXXXX")"
mnt="$root/mnt"
cleanup() {
  mountpoint -q "$mnt" && fusermount3 -u "$mnt"
  rm -rf "$root"
}
trap cleanup EXIT
mkdir -p "$mnt"
"$bin/make_sample_tree" albums "$root/tree" "$files" >/dev/null
"$bin/latencyfs" "$root/tree" "$mnt" --latency-us="$latency" 2>"$root/fuse.err" ||
  skip "FUSE cannot be mounted here: $(cat "$root/fuse.err")"

seconds() { awk '{ print $4 }' <<<"$1"; }  # the time field of a floor or generate line

echo "-- $files files through a device with $((latency / 1000)).$((latency % 1000 / 100)) ms per open and read"
for round in $(seq "$rounds"); do
  floor="$("$bin/generate_floor_bench" "$mnt")"
  run="$("$bin/generate_bench" run "$mnt" "$root/work")"
  echo "$floor"
  echo "$run"
  awk -v g="$(seconds "$run")" -v f="$(seconds "$floor")" \
    'BEGIN { printf "ratio     generate / serial floor = %.3f (target at most 0.1)\n", g / f }'
done
[ -n "$curve" ] && echo "-- readers (QUORBEL_READERS)"
for n in $curve; do
  printf "%3d readers  " "$n"
  QUORBEL_READERS="$n" "$bin/generate_bench" run "$mnt" "$root/work" | head -1
done
