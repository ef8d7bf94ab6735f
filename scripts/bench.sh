#!/usr/bin/env bash
# Runs every benchmark script in bench/ with the folder of the built programs.
set -euo pipefail
bin="$(cd "$1" && pwd)"
cd "$(dirname "$0")/.."
for script in bench/*.sh; do
  [ -e "$script" ] || continue
  echo "== $script"
  bash "$script" "$bin"
done
