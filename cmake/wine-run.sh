#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix for its
# architecture and quiet logging: wine-run.sh win32|win64 PROGRAM [ARGS...]
# The 64-bit loader is called by its own path, because `wine` picks the
# 32-bit one whenever that is installed.
arch="$1"; shift
export WINEDEBUG="${WINEDEBUG:--all}"
case "$arch" in
  win32) export WINEPREFIX="${QUORBEL_WINEPREFIX_BASE:-$HOME/.wine-quorbel}-win32"; exec wine "$@" ;;
  win64) export WINEPREFIX="${QUORBEL_WINEPREFIX_BASE:-$HOME/.wine-quorbel}-win64"; exec /usr/lib/wine/wine64 "$@" ;;
  *) echo "wine-run.sh: first argument must be win32 or win64" >&2; exit 2 ;;
esac
