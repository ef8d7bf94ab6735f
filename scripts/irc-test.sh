#!/usr/bin/env bash
# The WeeChat plug-in serving a list in an IRC channel, end to end on
# loopback: ngircd, a headless WeeChat with the plug-in, and IRC clients
# that find, fetch files and the list by DCC, wait in the queue and send
# hostile names (tests/irc/serve_test.py).
#   scripts/irc-test.sh [build folder] [summary file]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/linux}"
summary="${2:-/dev/null}"
plugin="$PWD/$build/bin/weechat/quorbel.so"
[[ "$build" = /* ]] && plugin="$build/bin/weechat/quorbel.so"

if [ ! -f "$plugin" ]; then
  echo "irc-test: the WeeChat plug-in is not built: no $plugin (make native builds it)" >&2
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
"${netns[@]}" /usr/bin/python3 -u tests/irc/serve_test.py --plugin "$plugin" | tee "$out"
line="the IRC serving test (ngircd, WeeChat and the plug-in on loopback): $(tail -n 1 "$out")"
echo "$line" >>"$summary"
