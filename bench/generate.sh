#!/usr/bin/env bash
# The generation run against its floor and against mp3info, on generated
# trees of 2,000, 20,000 and 100,000 files (warm cache). Memory must stay
# flat from the small tree to the large one. The run with one reader
# (QUORBEL_READERS=1) is the serial run, for comparison.
#
# usage: bench/generate.sh [BUILD_DIR]   (default: build/generate-bench)
#   QUORBEL_BENCH_COUNTS ("2000 20000 100000"), QUORBEL_BENCH_ROUNDS (5)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/generate-bench}"
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target make_sample_tree generate_bench generate_floor_bench quorbel zipdll >/dev/null
bin="$(cd "$build/bin" && pwd)"
root="$(mktemp -d "${TMPDIR:-/tmp}/quorbel-bench-XXXXXX")"
trap 'rm -rf "$root"' EXIT

mp3info_run() {
  local tree="$1" start end n
  n=$(find "$tree" -name '*.mp3' | wc -l)
  start=$(date +%s.%N)
  # As few processes as the system's argument limit allows. Only the tag
  # fields and the size: asked for the frame fields (%r %Q %o %S), mp3info
  # walks the frames to the end of the file and, on these sparse files,
  # crawls through the zeros (about 0.2 s a file), so this is its fastest use.
  find "$tree" -name '*.mp3' -print0 |
    xargs -0 -s 2000000 mp3info -p '%f %k %a %t %l %y %g %c\n' >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v n="$n" -v s="$start" -v e="$end" \
    'BEGIN { t = e - s; printf "mp3info   %6d files  %7.3f s  %9.0f files/s  %6.1f us/file\n", n, t, n / t, t * 1e6 / n }'
}

for count in ${QUORBEL_BENCH_COUNTS:-2000 20000 100000}; do
  tree="$root/tree-$count"
  echo "-- $count files"
  "$bin/make_sample_tree" albums "$tree" "$count" >/dev/null
  "$bin/generate_floor_bench" "$tree" >/dev/null  # warms the cache
  # The first run also warms what the floor does not touch (folder
  # entries, the working directory); then floor and run take turns, so that
  # both meet the machine in the same state, and the fastest of each counts.
  "$bin/generate_bench" run "$tree" "$root/work-$count" >/dev/null
  for round in $(seq "${QUORBEL_BENCH_ROUNDS:-5}"); do
    "$bin/generate_floor_bench" "$tree"
    "$bin/generate_bench" run "$tree" "$root/work-$count"
  done | tee "$root/rounds"
  # Fastest of each, and the ratio within each round (the run beside the
  # floor just before it): the machine's speed drifts from round to round,
  # and the median of those ratios is the steadier figure.
  awk '$1 == "floor" { last = $4; if (!f || $4 < f) f = $4 }
       $1 == "generate" { if (!g || $4 < g) g = $4; r[++n] = $4 / last }
       END {
         printf "fastest:  floor %.3f s, run %.3f s, run/floor %.2f\n", f, g, g / f
         for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (r[j] < r[i]) { t = r[i]; r[i] = r[j]; r[j] = t }
         printf "rounds:   run/floor median %.2f (%.2f to %.2f)\n", r[int((n + 1) / 2)], r[1], r[n]
       }' "$root/rounds"
  "$bin/generate_floor_bench" "$tree" 1024
  printf "serial:   "
  QUORBEL_READERS=1 "$bin/generate_bench" run "$tree" "$root/work-$count" | head -1
  if command -v mp3info >/dev/null; then
    mp3info_run "$tree"
  else
    echo "mp3info   not installed"
  fi
done
