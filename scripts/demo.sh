#!/usr/bin/env bash
# The main job in one command: builds a small sample music tree (MPEG files
# with tags, nested folders, a few names with double blanks), a sample
# configuration, runs the command-line host to make the list and its ZIP,
# and prints the list.
#
# usage: scripts/demo.sh BIN_DIR    (the folder holding quorbel and libquorbel.so)
set -euo pipefail

bin="$(cd "${1:?usage: scripts/demo.sh BIN_DIR}" && pwd)"
demo="$(dirname "$bin")/demo"
music="$demo/Music"
work="$demo/lists"

rm -rf "$demo"
mkdir -p "$music" "$work"

# Sample files: a frame header at the start (some behind an ID3v2 tag), an
# ID3v1 tag at the end (most), sparse in between so the tree stays small on disk.
python3 - "$music" <<'EOF'
import os, sys

music = sys.argv[1]
BITRATES = {32: 1, 48: 3, 64: 5, 96: 7, 128: 9, 160: 10, 192: 11, 256: 13, 320: 14}
RATES = {44100: 0, 48000: 1, 32000: 2}
MODES = {"stereo": 0, "joint": 1, "dual": 2, "mono": 3}
GENRES = {"Rock": 17, "Pop": 13, "Jazz": 8, "Blues": 0, "Classical": 32, "Electronic": 52}

def header(kbps, rate, mode):
    return bytes([0xFF, 0xFB, BITRATES[kbps] << 4 | RATES[rate] << 2, MODES[mode] << 6])

def id3v1(title, artist, album, year, genre):
    field = lambda text, width: text.encode("latin-1")[:width].ljust(width, b"\0")
    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) +
            field(year, 4) + field("", 30) + bytes([GENRES[genre]]))

def id3v2(payload_size):
    size = bytes((payload_size >> shift) & 0x7F for shift in (21, 14, 7, 0))
    return b"ID3\x03\x00\x00" + size + b"\0" * payload_size

SONGS = [
    # path, seconds, kbps, rate, mode, tag (title, artist, album, year, genre) or None, ID3v2 bytes
    ("Rock/Classics/The Riffs - Open Road.mp3", 245, 192, 44100, "joint",
     ("Open Road", "The Riffs", "Highway", "1998", "Rock"), 0),
    ("Rock/Classics/The Riffs - Night  Drive.mp3", 301, 128, 44100, "joint",
     ("Night Drive", "The Riffs", "Highway", "1998", "Rock"), 4096),
    ("Rock/Live/Stone Hall - Encore (live).mp3", 412, 320, 48000, "stereo",
     ("Encore", "Stone Hall", "Live at the Hall", "2001", "Rock"), 0),
    ("Pop/Sunny Days - Summer Song.mp3", 198, 160, 44100, "joint",
     ("Summer Song", "Sunny Days", "", "2002", "Pop"), 65536),
    ("Pop/Sunny Days - Winter  Song.mp3", 220, 128, 44100, "stereo", None, 0),
    ("Jazz  Corner/Blue Notes - Late Hour.mp3", 367, 256, 44100, "joint",
     ("Late Hour", "Blue Notes", "After Midnight", "1995", "Jazz"), 0),
    ("Jazz  Corner/Old Radio Show.mp2", 95, 64, 32000, "mono", None, 0),
    ("Classical/Orchestra - Adagio.mp3", 530, 96, 48000, "dual",
     ("Adagio", "Orchestra", "Quiet Pieces", "1989", "Classical"), 0),
    ("Electronic/Pulse - Variable.mp3", 240, 48, 44100, "joint",
     ("Variable", "Pulse", "", "2000", "Electronic"), 0),
]

for path, seconds, kbps, rate, mode, tag, v2 in SONGS:
    full = os.path.join(music, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    size = seconds * kbps * 125
    with open(full, "wb") as f:
        if v2:
            f.write(id3v2(v2))
        f.write(header(kbps, rate, mode))
        tail = id3v1(*tag) if tag else b"\0"
        f.seek(size - len(tail))
        f.write(tail)
with open(os.path.join(music, "Pop", "cover.jpg"), "wb") as f:
    f.write(b"\xFF\xD8\xFF\xE0 not listed: not a configured extension")
EOF

cat > "$demo/demo.ini" <<EOF
[listmake]
nick=Demo
method=sbqtai
gear=1
hitnum=30
[Preface]
1=Welcome to the demo list. Request a song by pasting its line.
2=Names with double blanks are listed squeezed.
[Extension]
1=*.mp3
2=*.mp2
[drive]
1=$music
EOF

echo "== Sample tree: $music"
(cd "$music" && find . -type f | sort)
echo
echo "== quorbel generate $demo/demo.ini $work"
# The files in "Jazz  Corner" cannot be renamed (their folder's name has double
# blanks too): quorbel says so and exits with 1 after making the list.
"$bin/quorbel" generate --rename --example "The Riffs - Open Road.mp3" "$demo/demo.ini" "$work" ||
  echo "(exit status $?)"
echo
echo "== Files made in $work"
ls -l "$work"
list="$(ls "$work"/*-mm.txt)"
echo
echo "== $(basename "$list") (NBSP padding shown as blanks)"
python3 -c 'import sys; sys.stdout.write(open(sys.argv[1], "rb").read().decode("cp1252", "replace").replace("\r\n", "\n"))' "$list"
zip="${list%.txt}.zip"
if [ -f "$zip" ] && command -v unzip >/dev/null; then
  echo
  echo "== $(basename "$zip")"
  unzip -l "$zip"
fi
echo
echo "== The same library in script mode: find and search answer from the new list"
printf '%s\n' "ZOQ_SetDirectory $work" "ZOQ_SetIniFile $demo/demo.ini" "ZOQ_SetCompress 0" \
  "ZOQ_StartGenerate" "ZOQ_At_Find *riffs*" "ZOQ_SearchFile Old Radio Show.mp2" \
  "ZOQ_GetMPEGInfo $music/Rock/Live/Stone Hall - Encore (live).mp3" |
  "$bin/quorbel" --bytes --no-progress script |
  python3 -c 'import sys; sys.stdout.write(sys.stdin.buffer.read().decode("cp1252", "replace").replace("\xff", " | "))'
