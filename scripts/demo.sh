#!/usr/bin/env bash
# The main job in one command: builds a small sample music tree (MPEG files
# with tags, nested folders, a few names with double blanks), a sample
# configuration, runs the command-line host to make the list and its ZIP,
# and prints the list.
#
# usage: scripts/demo.sh BIN_DIR    (the folder holding quorbel, libquorbel.so
#                                    and make_sample_tree)
set -euo pipefail

bin="$(cd "${1:?usage: scripts/demo.sh BIN_DIR}" && pwd)"
demo="$(dirname "$bin")/demo"
music="$demo/Music"
work="$demo/lists"

rm -rf "$demo"
mkdir -p "$music" "$work"

# Sample files (tools/make_sample_tree): a frame header at the start (some
# behind an ID3v2 tag), an ID3v1 tag at the end (most), sparse in between so
# that the tree stays small on disk.
"$bin/make_sample_tree" demo "$music" >/dev/null

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
