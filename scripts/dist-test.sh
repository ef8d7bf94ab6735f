#!/usr/bin/env bash
# Unpacks each package of dist/ into an empty folder and uses the library
# from there: a generation with compression over a one-song tree, so the
# library must also find its zip engine beside itself. The Windows packages
# are driven under Wine by a minimal host (call_library.exe) kept outside
# the unpacked folder; the 32-bit one only where 32-bit programs can run.
#
# usage: scripts/dist-test.sh [SUMMARY_FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
summary="${1:-/dev/null}"
version=$(sed -n 's/^project(quorbel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
root=$(mktemp -d)
[ -n "${QUORBEL_KEEP:-}" ] || trap 'rm -rf "$root"' EXIT

fail() { echo "dist-test: $*" >&2; exit 1; }

# A tree with one song, a configuration naming it, an empty output folder.
prepare() {  # DIR DRIVE_PATH
  mkdir -p "$1/music" "$1/lists"
  printf '\377\373\220\000' > "$1/music/Song.mp3"
  head -c 4000 /dev/zero >> "$1/music/Song.mp3"
  printf '[listmake]\r\nnick=Tester\r\nmethod=sbqt\r\n[Extension]\r\n1=*.mp3\r\n[drive]\r\n1=%s\r\n' \
    "$2" > "$1/lists/list.ini"
}

# The list and its archive exist, and the archive holds the list.
expect_outputs() {  # LISTS_DIR
  local list zip
  list=$(ls "$1"/Tester*-mm.txt 2>/dev/null | head -n 1)
  zip=$(ls "$1"/Tester*-mm.zip 2>/dev/null | head -n 1)
  [ -n "$list" ] && grep -q '!Tester Song.mp3' "$list" || fail "no list line for Song.mp3 in $1"
  # (the listing is taken whole first: grep -q leaving early would break the pipe)
  [ -n "$zip" ] && grep -q -- "-mm.txt" <<<"$(unzip -l "$zip")" || fail "no archive holding the list in $1"
}

windows_path() { echo "Z:${1//\//\\}"; }

for arch in win64 win32; do
  package="dist/quorbel-$version-$arch.zip"
  if [ $arch = win32 ] && ! reason=$(scripts/win32-capable.sh); then
    grep -q "quorbel-$version-$arch/quorbel.dll" <<<"$(unzip -l "$package")" || fail "$package lacks quorbel.dll"
    echo "NOT RUN: loading $package under Wine, because $reason; its contents were listed" | tee -a "$summary"
    continue
  fi
  work="$root/$arch"
  mkdir -p "$work"
  unzip -q "$package" -d "$work/unpacked"
  prepare "$work" "$(windows_path "$work/music")\\"
  lists=$(windows_path "$work/lists")
  replies=$(cmake/wine-run.sh $arch "build/$arch/bin/call_library.exe" \
    "$(windows_path "$work/unpacked/quorbel-$version-$arch/quorbel.dll")" \
    ZOQ_SetDirectory "$lists" ZOQ_SetIniFile "$lists\\list.ini" ZOQ_SetCompress 1 \
    ZOQ_StartGenerate "" | tr -d '\r') || fail "$arch: $replies"
  grep -qx "200 OK __ZOQ_StartGenerate__" <<<"$replies" || fail "$arch: $replies"
  expect_outputs "$work/lists"
  echo "package $package: loaded under Wine from its own folder, list and ZIP made" | tee -a "$summary"
done

package="dist/quorbel-$version-linux-x86_64.tar.gz"
work="$root/linux"
mkdir -p "$work/unpacked"
tar -C "$work/unpacked" -xzf "$package"
prepare "$work" "$work/music/"
printf 'ZOQ_SetDirectory %s\nZOQ_SetIniFile %s\nZOQ_SetCompress 1\nZOQ_StartGenerate\n' \
  "$work/lists" "$work/lists/list.ini" |
  (cd "$work" && "$work/unpacked/quorbel-$version-linux-x86_64/quorbel" --no-progress script) \
  >/dev/null || fail "linux: the host's generation failed"
expect_outputs "$work/lists"
echo "package $package: host ran from its own folder, list and ZIP made" | tee -a "$summary"
