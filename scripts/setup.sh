#!/usr/bin/env bash
# Installs what building and testing quorbel needs on a Debian 12 machine.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  libgtest-dev googletest          # native test framework, and its source for the Win32 build
  zlib1g-dev libicu-dev libglib2.0-dev shared-mime-info
  g++-mingw-w64-i686-posix mingw-w64-i686-dev libz-mingw-w64-dev
  wine wine32:i386 xvfb xauth
  python3 zip unzip mp3info
  clang libclang-rt-14-dev llvm    # sanitizer and fuzzing builds (libFuzzer), report symbols
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

# A Wine prefix of our own, initialised once, so tests never race Wine's first-run set-up.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorbel}"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: initialising Wine prefix $WINEPREFIX"
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
