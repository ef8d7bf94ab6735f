#!/usr/bin/env bash
# A power cut in miniature: the Linux host makes a list over a tree of a few
# thousand files and is killed with SIGKILL at a random moment, again and
# again. After every kill the list's name holds a whole list (its footer
# there), the index and the ZIP are whole, and the next run succeeds with
# nothing cleaned up by hand.
#   scripts/kill-test.sh [build folder] [summary file]    (KILL_ROUNDS=200)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/linux}"
summary="${2:-/dev/null}"
rounds="${KILL_ROUNDS:-200}"
files=3000
host="$build/bin/quorbel"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/bin/make_sample_tree" albums "$tmp/Music" "$files" >/dev/null
mkdir "$tmp/lists"
printf '[listmake]\nnick=Bob\nmethod=sbqt\n[Extension]\n1=*.mp3\n[drive]\n1=%s\n' \
  "$tmp/Music" >"$tmp/list.ini"
generate() { "$host" -q generate "$tmp/list.ini" "$tmp/lists" >/dev/null; }

fail() {
  echo "kill-test: $*" >&2
  exit 1
}

# Whole files only: the footer ends the list, every song has its index
# line, and the archive's checksums hold.
check_whole() {
  local list index zip
  list=$(ls "$tmp"/lists/*-mm.txt) || fail "$1: no list"
  index="${list%.txt}.idx"
  zip="${list%.txt}.zip"
  tail -c 400 "$list" | grep -q "End of List - Total $files filez" || fail "$1: the list is cut short"
  [ "$(wc -l <"$index")" -eq "$files" ] || fail "$1: the index is not whole"
  python3 -c 'import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)' \
    "$zip" || fail "$1: the ZIP is not whole"
}

start=$(date +%s%N)
generate || fail "the first run failed"
run_ms=$((($(date +%s%N) - start) / 1000000 + 1))
check_whole "the first run"
during=0
for round in $(seq "$rounds"); do
  generate &
  pid=$!
  delay=$((RANDOM % run_ms))
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  status=0
  { wait "$pid"; } 2>/dev/null || status=$?
  [ "$status" -eq 137 ] && during=$((during + 1))
  check_whole "after kill $round"
  generate || fail "the run after kill $round failed"
done
check_whole "the last run"
line="the kill test: $rounds runs killed at random ($during of them mid-run, a run taking about $run_ms ms), every list, index and ZIP whole, every next run fine"
echo "$line"
echo "$line" >>"$summary"
