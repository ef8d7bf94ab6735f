#!/bin/sh
# Packs a 20 MB list file with the zip engine (through the zip component)
# and with Debian's zip -9, and prints both times and archive sizes.
#   bench/compress.sh [build folder]     (default build/compress-bench)
set -e
cd "$(dirname "$0")/.."
BUILD=${1:-build/compress-bench}
[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j2 --target compress_bench zipdll >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
LIST="$WORK/Bench[06-19-02]-mm.txt"

# A list file as the generation run writes it: directory blocks and file
# lines padded with NBSP, with sizes, MPEG items and tag values.
python3 - "$LIST" <<'PY'
import random, sys
rng = random.Random(5)
words = ("love night dream fire heart rain summer blue road home angel dance "
         "shadow light river city gold wild time star ocean storm").split()
artists = [" ".join(rng.choice(words).title() for _ in range(rng.randint(1, 3))) for _ in range(900)]
out = bytearray()
target = 20 * 1024 * 1024
n = 0
while len(out) < target:
    artist = rng.choice(artists)
    if n % 12 == 0:
        out += b"\r\n-----[ C:\\Music\\" + artist.encode() + b"\\ ]-----\r\n\r\n"
    title = " ".join(rng.choice(words) for _ in range(rng.randint(1, 5))).title()
    name = ("%s - %s.mp3" % (artist, title)).encode()
    line = b"!Bench " + name
    line += b"\xa0" * max(1, 65 - len(line))
    size = rng.randint(1500000, 9000000)
    line += b"%d.%dMB" % (size // 1048576, size % 1048576 * 10 // 1048576)
    line += b" %dkbps %dkHz %s %d:%02d" % (rng.choice((128, 160, 192, 256, 320)),
            rng.choice((44, 48)), rng.choice((b"Stereo", b"Joint-Stereo")),
            rng.randint(1, 9), rng.randint(0, 59))
    line += b" [" + artist.encode() + b" / " + title.encode() + b"]\r\n"
    out += line
    n += 1
open(sys.argv[1], "wb").write(bytes(out[:target]))
PY

OURS="$WORK/ours.zip"
THEIRS="$WORK/zip9.zip"
ours_time=$("$BUILD/bin/compress_bench" "$LIST" "$OURS")
start=$(date +%s.%N)
zip -9 -j -q "$THEIRS" "$LIST"
end=$(date +%s.%N)
zip_time=$(echo "$end - $start" | bc)
unzip -tqq "$OURS"

size() { stat -c %s "$1"; }
printf 'list file            %12d bytes\n' "$(size "$LIST")"
printf 'zip engine (level 9) %12d bytes  %6.3f s\n' "$(size "$OURS")" "$ours_time"
printf 'zip -9               %12d bytes  %6.3f s\n' "$(size "$THEIRS")" "$zip_time"
