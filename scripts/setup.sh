#!/usr/bin/env bash
# Installs what building and testing quorbel needs on a Debian 12 machine.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake make g++ pkg-config
  libgtest-dev googletest          # native test framework, and its source for the Windows builds
  zlib1g-dev libicu-dev libglib2.0-dev shared-mime-info
  g++-mingw-w64-i686-posix mingw-w64-i686-dev libz-mingw-w64-dev     # 32-bit Windows (zlib for both)
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev                    # 64-bit Windows
  wine wine64 wine32:i386 xvfb xauth
  python3 zip unzip mp3info
  libfuse3-dev fuse3                # the slow-device benchmark's latency filesystem
  clang libclang-rt-14-dev llvm    # sanitizer and fuzzing builds (libFuzzer), report symbols
  weechat-headless weechat-dev weechat-plugins ngircd python3-irc   # serving from WeeChat, and its end-to-end test
  weechat-python                    # the load test's timer probe, a WeeChat Python script
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# One Wine prefix of our own per architecture, initialised once, so tests
# never race Wine's first-run set-up. The 32-bit one only where this machine
# can run 32-bit programs at all.
export WINEDEBUG=-all
base="${QUORBEL_WINEPREFIX_BASE:-$HOME/.wine-quorbel}"
init_prefix() {  # ARCH LOADER
  local prefix="$base-$1"
  [ -f "$prefix/system.reg" ] && return 0
  echo "setup: initialising Wine prefix $prefix"
  WINEPREFIX="$prefix" WINEARCH="$1" WINEDLLOVERRIDES="mscoree,mshtml=" "$2" wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w || true
}
init_prefix win64 /usr/lib/wine/wine64
if scripts/win32-capable.sh >/dev/null; then
  init_prefix win32 wine
fi
