#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/, clang and libFuzzer) and runs each one.
#   scripts/fuzz.sh [seconds per target] [target ...]
#   FUZZ_RUNS=10000000 scripts/fuzz.sh [target ...]   each to that many executions
#   FUZZ_JOBS=N   targets run side by side (default: one per processor)
# Default 180 seconds each; a target found fault leaves its input in
# build/fuzz/findings/ and fails the run. Corpora grow in build/fuzz/corpus/
# (the seeds checked in under fuzz/corpus/ stay as they are). make test runs
# it for a few seconds per target as a smoke test.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${FUZZ_RUNS:-}"
seconds=180
# With a count the seconds are optional: a number first is still taken as them.
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then seconds="$1"; shift; fi
if [ -n "$runs" ]; then limit=(-runs="$runs"); else limit=(-max_total_time="$seconds"); fi
label="${limit[0]#-}"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(mpeg ini find search chart generate zip commands)
dir=build/fuzz
jobs="${JOBS:-$(nproc)}"

mkdir -p "$dir"
if ! { cmake -S fuzz -B "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
         -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build "$dir" -j "$jobs"; } >"$dir/build.log" 2>&1; then
  cat "$dir/build.log" >&2
  exit 1
fi

# A smaller quarantine than the default keeps freed memory warm, and two
# frames of each allocation's stack instead of thirty spare most of the
# unwinding (a fifth of an execution in the slower targets): the same
# checks, with a finding's input run once more with whole stacks below.
fast_asan="detect_leaks=1:abort_on_error=1:quarantine_size_mb=64:malloc_context_size=2"
export ASAN_OPTIONS="$fast_asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# A smoke run beside a long one keeps its logs apart (FUZZ_LOGS).
logs="${FUZZ_LOGS:-$dir/logs}"
mkdir -p "$dir/findings" "$logs"
failed=0
# The table goes to the terminal and to $dir/results.txt.
row() { printf '%-10s %12s %8s %10s %8s %6s\n' "$@" | tee -a "$dir/results.txt"; }
echo "# $(date '+%F %T') $label" >>"$dir/results.txt"
row target executions seconds exec/s cov ft
# One target to its limit, then its row of the table.
run_target() {
  local t="$1" corpus="$dir/corpus/$1" log="$logs/$1.log" start elapsed done_runs last cov ft status=0
  mkdir -p "$corpus"
  # Configuration files longer than 1 KB only repeat lines (a value longer
  # than a reply still fits); inputs up to 4 KB made the ini target a
  # third as fast.
  local shape=()
  [ "$t" = ini ] && shape=(-max_len=1024)
  start=$(date +%s)
  # New inputs go to the build's corpus; the seeds are read, never changed.
  # One process per target: nothing else adds to its corpus, so it need
  # not be read again while the target runs (-reload=0).
  if ! "$dir/bin/fuzz_$t" "${limit[@]}" "${shape[@]}" -reload=0 -timeout=25 -rss_limit_mb=2560 \
        -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" \
        "$corpus" "fuzz/corpus/$t" >"$log" 2>&1; then
    status=1
    if grep -qa "libFuzzer: run interrupted" "$log"; then
      echo "fuzz: $t was interrupted before its limit; no fault found, log in $log" >&2
    else
      echo "fuzz: $t found a fault; input in $dir/findings/, log in $log" >&2
    fi
    find "$dir/findings" -name "$t-*" -newermt "@$start" | while read -r finding; do
      echo "== $finding again, with whole allocation stacks" >>"$log"
      ASAN_OPTIONS="${fast_asan/:malloc_context_size=2/}" "$dir/bin/fuzz_$t" "$finding" >>"$log" 2>&1 || true
    done
  fi
  elapsed=$(( $(date +%s) - start ))
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -a -E '^#[0-9]+' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  row "$t" "${done_runs:-?}" "$elapsed" "$(( ${done_runs:-0} / (elapsed > 0 ? elapsed : 1) ))" \
    "${cov:-?}" "${ft:-?}"
  return "$status"
}

# Each target is a process of its own with its own scratch folder, so
# several run side by side; rows appear as targets finish.
parallel="${FUZZ_JOBS:-$(nproc)}"
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
