#!/usr/bin/env bash
# Tests one Windows build: win64 always runs its suite under wine64; win32
# runs its suite under Wine only where this machine can execute 32-bit
# programs, and otherwise says so. Both are always checked statically
# (exports, imports, and on 32-bit the calling convention).
#
# usage: scripts/test-windows.sh win32|win64 BUILD_DIR [SUMMARY_FILE]
set -euo pipefail
arch="${1:?usage: test-windows.sh win32|win64 BUILD_DIR [SUMMARY_FILE]}"
build="${2:?build folder}"
summary="${3:-/dev/null}"
cd "$(dirname "$0")/.."

for dll in quorbel.dll ZIPDLL.DLL; do
  scripts/check-windows-dll.py "$arch" "$build/bin/$dll"
done
echo "static checks of the $arch DLLs: passed" >> "$summary"

if [ "$arch" = win32 ] && ! reason=$(scripts/win32-capable.sh); then
  line="NOT RUN: the 32-bit Windows suite under Wine, because $reason; the 32-bit DLLs were only checked statically"
  echo "test-windows: $line"
  echo "$line" >> "$summary"
  exit 0
fi
(cd "$build" && xvfb-run -a ctest --output-on-failure)
echo "the $arch suite under Wine: passed" >> "$summary"
