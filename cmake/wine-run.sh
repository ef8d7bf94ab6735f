#!/usr/bin/env bash
# Runs a Win32 program under Wine with the project's prefix and quiet logging.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorbel}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
