#!/usr/bin/env bash
# The WeeChat plug-in under load, end to end on loopback: 50 IRC clients
# that find and fetch files over three rounds, flooders in the third, and
# the figures of each round (throughput, WeeChat's timer lateness, its
# memory) (tests/irc/load_test.py). Under a minute.
#   scripts/load-test.sh [build folder] [summary file]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/linux}"
summary="${2:-/dev/null}"
plugin="$PWD/$build/bin/weechat/quorbel.so"
[[ "$build" = /* ]] && plugin="$build/bin/weechat/quorbel.so"

if [ ! -f "$plugin" ]; then
  echo "load-test: the WeeChat plug-in is not built: no $plugin (make native builds it)" >&2
  exit 1
fi
# The timer probe is a python script inside WeeChat.
if ! ls /usr/lib/*/weechat/plugins/python.so >/dev/null 2>&1; then
  echo "load-test: WeeChat's python plug-in is missing (Debian package weechat-python)" >&2
  exit 1
fi

# WeeChat's DCC sockets listen on every interface; where we may, the test
# runs in a network namespace of its own whose only interface is loopback.
netns=()
if [ "$(id -u)" -eq 0 ] && command -v ip >/dev/null && unshare --net true 2>/dev/null; then
  netns=(unshare --net sh -c 'ip link set lo up && exec "$@"' sh)
fi

out=$(mktemp)
trap 'rm -f "$out"' EXIT
# Debian's python3, which has python3-irc, whatever python3 comes first in PATH.
"${netns[@]}" /usr/bin/python3 -u tests/irc/load_test.py --plugin "$plugin" | tee "$out"
figures=$(sed -n 's/^  figures: //p' "$out")
echo "the IRC load test (50 clients, 4 slots, a flood; ngircd, WeeChat and the plug-in on loopback): $(tail -n 1 "$out")${figures:+ ($figures)}" >>"$summary"
