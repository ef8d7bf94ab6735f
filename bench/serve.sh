#!/usr/bin/env bash
# What serving a file through the WeeChat plug-in costs, beside the owner's
# own /dcc send and a plain loopback socket, in the same run
# (bench/serve_bench.py).
#   bench/serve.sh [build folder] [files] [MB each]     (default build/linux, 12, 4)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/linux}"
plugin="$(realpath -m "$build")/bin/weechat/quorbel.so"
if [ ! -f "$plugin" ]; then
  echo "serve.sh: no plug-in at $plugin (make native builds it where weechat-dev is installed)"
  exit 0
fi
# On loopback only: "${netns[@]}" runs in a namespace of its own.
. scripts/loopback-only.sh
"${netns[@]}" /usr/bin/python3 -u bench/serve_bench.py --plugin "$plugin" --files "${2:-12}" --mb "${3:-4}"
