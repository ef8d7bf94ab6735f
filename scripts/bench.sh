#!/usr/bin/env bash
# Runs every benchmark script in bench/ on one build folder (each script
# builds what it needs there).
set -euo pipefail
build="$(cd "$1" && pwd)"
cd "$(dirname "$0")/.."
for script in bench/*.sh; do
  [ -e "$script" ] || continue
  echo "== $script"
  bash "$script" "$build"
done
