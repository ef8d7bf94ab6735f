#!/usr/bin/env bash
# Packs what a user downloads, from the three builds:
#   dist/quorbel-VERSION-win32.zip, dist/quorbel-VERSION-win64.zip
#     quorbel.dll, ZIPDLL.DLL, README.md, quorbel.ini (a commented sample)
#   dist/quorbel-VERSION-linux-x86_64.tar.gz
#     quorbel (the host), libquorbel.so, libzipdll.so, README.md,
#     quorbel.ini, the man page quorbel.1 where there is one, and the
#     WeeChat plug-in weechat/quorbel.so where it was built
# Each package holds one folder of its own name. Binaries are stripped of
# debugging data.
#
# usage: scripts/dist.sh   (after make native win32 win64)
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(quorbel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p dist
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

man_page=$(find share host -name quorbel.1 2>/dev/null | head -n 1)

common_files() {  # DIR
  cp README.md "$1/"
  cp share/quorbel/sample.ini "$1/quorbel.ini"
}

# The Windows packages' sample names a Windows folder and has the line
# ends Notepad expects.
windows_sample() {  # DIR
  sed -e 's|^1=/home/you/Music$|1=C:\\Music\\|' -e 's/$/\r/' share/quorbel/sample.ini > "$1/quorbel.ini"
}

for arch in win32 win64; do
  name="quorbel-$version-$arch"
  tool=$([ $arch = win32 ] && echo i686 || echo x86_64)-w64-mingw32-strip
  mkdir "$stage/$name"
  for f in quorbel.dll ZIPDLL.DLL; do
    "$tool" --strip-debug -o "$stage/$name/$f" "build/$arch/bin/$f"
  done
  common_files "$stage/$name"
  windows_sample "$stage/$name"
  rm -f "dist/$name.zip"
  (cd "$stage" && zip -qr "$OLDPWD/dist/$name.zip" "$name")
  echo "dist: dist/$name.zip"
done

name="quorbel-$version-linux-x86_64"
mkdir "$stage/$name"
for f in quorbel libquorbel.so libzipdll.so; do
  strip --strip-debug -o "$stage/$name/$f" "build/linux/bin/$f"
done
if [ -f build/linux/bin/weechat/quorbel.so ]; then  # the WeeChat plug-in finds ../libquorbel.so
  mkdir "$stage/$name/weechat"
  strip --strip-debug -o "$stage/$name/weechat/quorbel.so" build/linux/bin/weechat/quorbel.so
fi
common_files "$stage/$name"
[ -n "$man_page" ] && cp "$man_page" "$stage/$name/"
tar -C "$stage" -czf "dist/$name.tar.gz" --owner=0 --group=0 "$name"
echo "dist: dist/$name.tar.gz"
