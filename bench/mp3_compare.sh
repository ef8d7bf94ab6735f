#!/bin/bash
# Compares the MPEG reader with two real decoders' view of the same files:
# one decodable stream for every valid version, layer, bitrate, sample rate
# and channel mode (a third behind an ID3v2 tag, half with an ID3v1 tag).
#  - mp3info (Debian) understands Layer III only: bitrate, sample rate and
#    channel mode must agree on every Layer III file.
#  - ffmpeg (where installed) reads all three layers: layer, bitrate, sample
#    rate and mono/two channels must agree on every file.
# Usage: bench/mp3_compare.sh [BUILD_DIR]   (default build/bench-linux)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/bench-linux}
cmake -S "$ROOT" -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target make_sample_tree mp3info_bench -j2 >/dev/null
BENCH=$BUILD/bin/mp3info_bench
command -v mp3info >/dev/null || { echo "mp3info is not installed"; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$BUILD/bin/make_sample_tree" streams "$WORK/s" >/dev/null
cd "$WORK/s"
"$BENCH" print *.mp3 | sort >"$WORK/ours"
total=$(ls *.mp3 | wc -l)
valid=$(wc -l <"$WORK/ours")
status=0
if [ "$valid" -ne "$total" ]; then
  echo "reader: only $valid of $total streams have a valid header"
  status=1
fi

# mp3info: "name<TAB>bitrate<TAB>Hz<TAB>mode" for the Layer III streams.
ours_l3=$WORK/ours_l3
awk -F'\t' -v OFS='\t' 'BEGIN {
    word["Stereo"] = "stereo"; word["Joint stereo"] = "joint stereo"
    word["Dual channel"] = "dual channel"; word["Single channel"] = "mono" }
  $2 == 3 { print $1, $3, $4, word[$5] }' "$WORK/ours" | sort >"$ours_l3"
# A stream that mp3info rejects shows in the difference as its complaint.
awk -F'\t' '$2 == 3 { print $1 }' "$WORK/ours" |
  xargs sh -c 'mp3info -r m -p "%f\t%r\t%Q\t%o\n" "$@" 2>&1; true' mp3info | sort >"$WORK/mp3info"
if diff "$ours_l3" "$WORK/mp3info" >"$WORK/mp3info.diff"; then
  echo "mp3info: agrees on bitrate, sample rate and channel mode of" \
    "$(wc -l <"$ours_l3") Layer III streams"
else
  echo "mp3info: disagrees (< reader, > mp3info):"
  head -20 "$WORK/mp3info.diff"
  status=1
fi

# ffmpeg: "name<TAB>codec<TAB>bit/s<TAB>Hz<TAB>channels" for every stream, from
# the input descriptions it prints (many inputs per run; it then complains
# that no output was given).
if command -v ffmpeg >/dev/null; then
  awk -F'\t' -v OFS='\t' '{ print $1, "mp" $2, $3 * 1000, $4, $5 == "Single channel" ? 1 : 2 }' \
    "$WORK/ours" | sort >"$WORK/ours_ff"
  ls *.mp3 | sed 's/^/-i\n/' |
    xargs -d '\n' -n 400 sh -c 'ffmpeg -hide_banner -nostdin "$@" 2>&1; true' ffmpeg |
    awk -v OFS='\t' '
      /^Input #/ { name = $0; sub(/.*from ./, "", name); sub(/.:$/, "", name) }
      /Stream #.*Audio:/ {
        sub(/.*Audio: /, ""); split($0, f, ", ")
        hz = f[2]; sub(/ Hz/, "", hz); rate = f[5]; sub(/ kb\/s.*/, "", rate)
        print name, f[1], rate * 1000, hz, f[3] == "mono" ? 1 : 2 }' | sort >"$WORK/ffmpeg"
  if diff "$WORK/ours_ff" "$WORK/ffmpeg" >"$WORK/ffmpeg.diff"; then
    echo "ffmpeg: agrees on layer, bitrate, sample rate and channels of" \
      "$(wc -l <"$WORK/ours_ff") streams"
  else
    echo "ffmpeg: disagrees (< reader, > ffmpeg):"
    head -20 "$WORK/ffmpeg.diff"
    status=1
  fi
else
  echo "ffmpeg: not installed, skipped"
fi
exit $status
