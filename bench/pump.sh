#!/usr/bin/env bash
# What the host's message pump costs the commands that pump at every step,
# through the path users take. ZOQ_At_Find pumps once per list line passed
# over; under Wine a pump is a round trip to the Wine server. Per pattern,
# milliseconds per request over a list of LINES lines:
#   (a) the scan alone: the engine in-process, no pump installed (pump_bench);
#   (b) the Linux host, `quorbel script`: N+1 requests against 1, per request;
#   (c) the 64-bit build under wine64 in a host with a real message loop
#       (pump_host), with the default pump interval and with
#       QUORBEL_PUMP_INTERVAL_MS=0 (a real pump at every point);
#   (d) the same for the 32-bit build, where this machine runs 32-bit code.
# Then a generation run over 20,000 files under wine64, the same two ways.
#
# usage: bench/pump.sh [LINES]               (default 100000)
#        bench/pump.sh BUILD_DIR [LINES]     (as make bench calls it: BUILD_DIR
#                                             for the native programs)
set -euo pipefail

# Every Wine program of the run meets one X server of the run's own: Wine
# sets a prefix's desktop up on the display of the first program that starts
# its server, and later programs join that desktop.
if [ -z "${QUORBEL_PUMP_UNDER_XVFB:-}" ]; then
  QUORBEL_PUMP_UNDER_XVFB=1 exec xvfb-run -a bash "$0" "$@"
fi
cd "$(dirname "$0")/.."

native=build/pump-linux
if [ -d "${1:-}" ]; then native="$1"; shift; fi
lines="${1:-100000}"
readonly win64=build/pump-win64 win32=build/pump-win32
readonly patterns=('*xyzzy*' '*the beatles*' '*a*b*c*d*')
readonly fast_count=20   # timed requests where a request takes milliseconds
readonly slow_count=3    # timed requests with a real pump at every point
readonly host_count=100  # the host's extra requests (N)
readonly generate_files=20000
# A list younger than its time stamps' granularity (3 s) is compared with
# the kept copy on every request; the rows measure a list's usual life.
readonly list_settle_seconds=4

configure() {  # BUILD_DIR [CMAKE_ARGS...]
  [ -f "$1/CMakeCache.txt" ] ||
    cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORBEL_TESTS=OFF "${@:2}" >/dev/null
}

build() {  # BUILD_DIR TARGET...
  local log
  if ! log=$(cmake --build "$1" -j2 --target "${@:2}" 2>&1); then
    echo "$log"
    exit 1
  fi
}

build_windows() {  # BUILD_DIR TOOLCHAIN
  configure "$1" -DCMAKE_TOOLCHAIN_FILE="cmake/$2.cmake"
  build "$1" pump_host zipdll
}

configure "$native"
build "$native" make_sample_tree pump_bench quorbel_host
build_windows "$win64" mingw64
if win32_reason=$(scripts/win32-capable.sh); then build_windows "$win32" mingw32; fi

root="$(mktemp -d "${TMPDIR:-/tmp}/quorbel-pump-XXXXXX")"
used_prefixes=()
finish() {
  # Wine's programs end before the X server does, then the files go.
  for arch in "${used_prefixes[@]}"; do
    WINEPREFIX="${QUORBEL_WINEPREFIX_BASE:-$HOME/.wine-quorbel}-$arch" timeout 60 wineserver -w ||
      true
  done
  rm -rf "$root"
}
trap finish EXIT

wine_run() {  # ARCH INTERVAL (empty: the default) PROGRAM ARGS...
  local arch="$1" interval="$2"
  shift 2
  if [ -n "$interval" ]; then
    QUORBEL_PUMP_INTERVAL_MS="$interval" cmake/wine-run.sh "$arch" "$@"
  else
    env -u QUORBEL_PUMP_INTERVAL_MS cmake/wine-run.sh "$arch" "$@"
  fi
}

# A Windows program's output, its CRLF line ends made LF.
wine_output() {  # ARCH INTERVAL PROGRAM ARGS...
  wine_run "$@" | tr -d '\r'
}

wine_path() {  # ARCH PATH: the path as Wine's programs see it
  wine_output "$1" "" winepath -w "$2"
}

list="$root/list"
ini="$list/bench.ini"
"$native/bin/make_sample_tree" list "$list" "$lines" >/dev/null
settle_until=$((SECONDS + list_settle_seconds))

# --- one cell: "MILLISECONDS REPLY_CODE" for one pattern ----------------------

scan_cell() {  # PATTERN
  "$native/bin/pump_bench" "$list" "$ini" "$1" "$fast_count" | awk '{ print $2, $8 }'
}

# Fastest of three runs of a host script of REQUESTS finds, in seconds,
# and the last reply's code.
host_run() {  # PATTERN REQUESTS
  local start end status replied best=""
  { echo "ZOQ_SetDirectory $list"; echo "ZOQ_SetIniFile $ini"
    for ((i = 0; i < $2; ++i)); do echo "ZOQ_At_Find $1"; done; } > "$root/host.in"
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    status=0
    "$native/bin/quorbel" script < "$root/host.in" > "$root/host.out" || status=$?
    end=$(date +%s.%N)
    # 516 (nothing found) fails a script; a reply line per command either way.
    replied=$(grep -Ec '^(200|201|516) ' "$root/host.out" || true)
    if [ "$status" -gt 1 ] || [ "$replied" -ne $(($2 + 2)) ]; then
      echo "pump.sh: the host's script failed (status $status):" >&2
      cut -c1-200 "$root/host.out" >&2
      exit 1
    fi
    best=$(awk -v s="$start" -v e="$end" -v b="$best" \
      'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
  done
  echo "$best $(grep -E '^(201|516) ' "$root/host.out" | tail -1 | cut -c1-3)"
}

host_cell() {  # PATTERN
  local one many
  one=$(host_run "$1" 1)
  many=$(host_run "$1" $((host_count + 1)))
  awk -v a="${one% *}" -v b="${many% *}" -v n="$host_count" -v code="${many#* }" \
    'BEGIN { printf "%.3f %s\n", (b - a) * 1000 / n, code }'
}

wine_cell() {  # ARCH INTERVAL COUNT WINE_LIST_DIR WINE_INI PATTERN
  local exe
  exe="$([ "$1" = win64 ] && echo "$win64" || echo "$win32")/bin/pump_host.exe"
  wine_output "$1" "$2" "$exe" find "$4" "$5" "$6" "$3" | awk '{ print $2, $8 }'
}

# --- the table ---------------------------------------------------------------

declare -A replies  # per pattern, the scan's reply code; every row must agree

row() {  # LABEL CELL_COMMAND...
  local label="$1" pattern cell
  shift
  printf '%-44s' "$label"
  for pattern in "${patterns[@]}"; do
    cell=$("$@" "$pattern")
    if [ -z "$cell" ]; then echo; echo "pump.sh: $label, $pattern: no result" >&2; exit 1; fi
    replies[$pattern]="${replies[$pattern]:-${cell#* }}"
    if [ "${cell#* }" != "${replies[$pattern]}" ]; then
      echo; echo "pump.sh: $label, $pattern: reply ${cell#* }, the scan's ${replies[$pattern]}" >&2
      exit 1
    fi
    printf '%16s' "${cell% *}"
  done
  echo
}

wine_rows() {  # ARCH LABEL ROW_LETTER
  local files
  used_prefixes+=("$1")
  files=("$(wine_path "$1" "$list")" "$(wine_path "$1" "$ini")")
  row "($3) $2, default interval" wine_cell "$1" "" "$fast_count" "${files[@]}"
  row "($3) $2, QUORBEL_PUMP_INTERVAL_MS=0" wine_cell "$1" 0 "$slow_count" "${files[@]}"
}

sleep $((settle_until > SECONDS ? settle_until - SECONDS : 0))
echo "ms per @find request (median), a $lines-line list; Wine rows: pump_host.exe;" \
  "timed requests: scan $fast_count, host $host_count, Wine $fast_count (interval 0: $slow_count)"
printf '%-44s' ""
printf '%16s' "${patterns[@]}"
echo
row "(a) scan alone, no pump (pump_bench)" scan_cell
row "(b) Linux host (quorbel script)" host_cell
wine_rows win64 "wine64" c
if [ -z "${win32_reason:-}" ]; then
  wine_rows win32 "32-bit Wine" d
else
  echo "(d) 32-bit Wine: not run, because $win32_reason"
fi
printf '%-44s' "reply code"
for pattern in "${patterns[@]}"; do printf '%16s' "${replies[$pattern]}"; done
echo

# --- a generation run under wine64 -------------------------------------------

tree="$root/tree"
work="$root/generate"
"$native/bin/make_sample_tree" albums "$tree" "$generate_files" >/dev/null
mkdir -p "$work"
printf '[listmake]\r\nnick=Bench\r\n[Extension]\r\n1=*.mp3\r\n[drive]\r\n1=%s\\\r\n' \
  "$(wine_path win64 "$tree")" > "$work/generate.ini"
generate_args=(generate "$(wine_path win64 "$work")" "$(wine_path win64 "$work/generate.ini")")

generate_row() {  # LABEL INTERVAL
  printf '%-44s' "$1"
  wine_output win64 "$2" "$win64/bin/pump_host.exe" "${generate_args[@]}" |
    awk '{ printf "%10.3f s  (%s)\n", $2, substr($0, index($0, "reply ") + 6) }'
}

echo
echo "generation under wine64, $generate_files files, unpacked (pump_host generate)"
wine_run win64 "" "$win64/bin/pump_host.exe" "${generate_args[@]}" >/dev/null  # warms both caches
generate_row "default interval" ""
generate_row "QUORBEL_PUMP_INTERVAL_MS=0" 0
