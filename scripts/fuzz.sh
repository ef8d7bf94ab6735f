#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/, clang and libFuzzer) and runs each one.
#   scripts/fuzz.sh [seconds per target] [target ...]
#   FUZZ_RUNS=10000000 scripts/fuzz.sh [target ...]   each to that many executions
#   FUZZ_JOBS=N   targets run side by side (default: one per processor)
#   FUZZ_WORKERS=N   processes per target, sharing its count and corpus: one
#                    slow target on every core (default 1)
# Default 180 seconds each; a target found fault leaves its input in
# build/fuzz/findings/ and fails the run. Corpora grow in build/fuzz/corpus/
# (the seeds checked in under fuzz/corpus/ stay as they are). make test runs
# it for a few seconds per target as a smoke test.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${FUZZ_RUNS:-}"
workers="${FUZZ_WORKERS:-1}"
[[ "$workers" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz: FUZZ_WORKERS must be a count of processes" >&2; exit 2; }
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
# One fuzzer process on a target; every process of a target grows the same
# corpus in the build.
fuzz_process() {
  local t="$1" log="$2"
  shift 2
  # The seeds are read, never changed.
  "$dir/bin/fuzz_$t" "$@" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/$t-" "$dir/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1
}

# One target to its limit, then its row of the table. FUZZ_WORKERS processes
# share its count and its corpus.
run_target() {
  local t="$1" start elapsed done_runs=0 cov=0 ft=0 status=0
  local log="$logs/$t.log" logs_of_t=() pids=() each=("${limit[@]}")
  mkdir -p "$dir/corpus/$t"
  # Configuration files longer than 1 KB only repeat lines (a value longer
  # than a reply still fits); inputs up to 4 KB made the ini target a
  # third as fast. A command sequence stops after 24 steps, and 1 KB holds
  # them with arguments of 40 bytes on average; up to 4 KB, more of each
  # input is nested pumping, and the target ran at about 0.77 times the speed.
  local shape=()
  case "$t" in ini|commands) shape=(-max_len=1024) ;; esac
  # A lone process need not reread its corpus for others' finds (-reload=0,
  # the reread cost about 4% of the larger targets); workers do.
  if [ "$workers" -gt 1 ]; then
    [ -n "$runs" ] && each=(-runs=$(( (runs + workers - 1) / workers )))
  else
    shape+=(-reload=0)
  fi
  start=$(date +%s)
  for w in $(seq "$workers"); do
    [ "$workers" -gt 1 ] && log="$logs/$t.$w.log"
    logs_of_t+=("$log")
    fuzz_process "$t" "$log" "${each[@]}" "${shape[@]}" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
  if [ "$status" -ne 0 ]; then
    if grep -qa "libFuzzer: run interrupted" "${logs_of_t[@]}"; then
      echo "fuzz: $t was interrupted before its limit; no fault found, logs: ${logs_of_t[*]}" >&2
    else
      echo "fuzz: $t found a fault; input in $dir/findings/, logs: ${logs_of_t[*]}" >&2
    fi
    find "$dir/findings" -name "$t-*" -newermt "@$start" | while read -r finding; do
      echo "== $finding again, with whole allocation stacks" >>"$log"
      ASAN_OPTIONS="${fast_asan/:malloc_context_size=2/}" "$dir/bin/fuzz_$t" "$finding" >>"$log" 2>&1 || true
    done
  fi
  elapsed=$(( $(date +%s) - start ))
  # Executions add up over the workers; coverage is the best any reached.
  for log in "${logs_of_t[@]}"; do
    local n last c f
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    last=$(grep -a -E '^#[0-9]+' "$log" | tail -1)
    c=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    f=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    done_runs=$(( done_runs + ${n:-0} ))
    [ "${c:-0}" -gt "$cov" ] && cov="$c"
    [ "${f:-0}" -gt "$ft" ] && ft="$f"
  done
  row "$t" "$done_runs" "$elapsed" "$(( done_runs / (elapsed > 0 ? elapsed : 1) ))" "$cov" "$ft"
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
