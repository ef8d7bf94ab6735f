#!/usr/bin/env bash
# The generation run with the page cache dropped before every run, on a
# generated 20,000-file tree: each round pairs the serial floor program with
# the full run; then the run once per number of readers. Needs root (to
# write /proc/sys/vm/drop_caches); skipped with a line saying so otherwise.
#
# usage: bench/generate_cold.sh [BUILD_DIR]
#   QUORBEL_COLD_FILES (20000), QUORBEL_COLD_ROUNDS (2),
#   QUORBEL_CURVE ("1 2 4 8 16 32 64"; empty: none)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/generate-bench}"
files="${QUORBEL_COLD_FILES:-20000}"
rounds="${QUORBEL_COLD_ROUNDS:-2}"
curve="${QUORBEL_CURVE-1 2 4 8 16 32 64}"

if [ "$(id -u)" -ne 0 ] || ! [ -w /proc/sys/vm/drop_caches ]; then
  echo "generate_cold: SKIPPED: dropping the page cache needs root (/proc/sys/vm/drop_caches)"
  exit 0
fi
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target make_sample_tree generate_bench generate_floor_bench quorbel zipdll >/dev/null
bin="$(cd "$build/bin" && pwd)"
root="$(mktemp -d "${TMPDIR:-/tmp}/quorbel-cold-XXXXXX")"
trap 'rm -rf "$root"' EXIT
"$bin/make_sample_tree" albums "$root/tree" "$files" >/dev/null

drop() { sync; echo 3 >/proc/sys/vm/drop_caches; }
seconds() { awk '{ print $4 }' <<<"$1"; }

echo "-- $files files, page cache dropped before each run"
for round in $(seq "$rounds"); do
  drop
  floor="$("$bin/generate_floor_bench" "$root/tree")"
  drop
  run="$("$bin/generate_bench" run "$root/tree" "$root/work")"
  echo "$floor"
  echo "$run"
  awk -v g="$(seconds "$run")" -v f="$(seconds "$floor")" \
    'BEGIN { t = f > 20 ? " (target at most 0.15 when the floor takes over 20 s)" : " (target below 1)";
             printf "ratio     generate / serial floor = %.3f%s\n", g / f, t }'
done
[ -n "$curve" ] && echo "-- readers (QUORBEL_READERS), cold"
for n in $curve; do
  drop
  printf "%3d readers  " "$n"
  QUORBEL_READERS="$n" "$bin/generate_bench" run "$root/tree" "$root/work" | head -1
done
