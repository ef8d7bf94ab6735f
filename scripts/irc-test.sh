#!/usr/bin/env bash
# The WeeChat plug-in serving a list in IRC channels, end to end on
# loopback: ngircd, a headless WeeChat with the plug-in, and IRC clients.
#   scripts/irc-test.sh [build folder] [summary file] [serve|load]
# serve (tests/irc/serve_test.py): finds, files and the list by DCC, the
#   queue, resume, the caps, reloads and restarts, hostile names;
# load (tests/irc/load_test.py): 50 clients over three rounds, flooders in
#   the third, with the figures of each round (throughput, WeeChat's timer
#   lateness, its memory). Under a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/linux}"
summary="${2:-/dev/null}"
test="${3:-serve}"
plugin="$PWD/$build/bin/weechat/quorbel.so"
[[ "$build" = /* ]] && plugin="$build/bin/weechat/quorbel.so"

case "$test" in
  serve) what="the IRC serving test (ngircd, WeeChat and the plug-in on loopback)" ;;
  load) what="the IRC load test (50 clients, 4 slots, a flood; ngircd, WeeChat and the plug-in on loopback)" ;;
  *) echo "irc-test: no test '$test' (serve or load)" >&2; exit 2 ;;
esac
if [ ! -f "$plugin" ]; then
  echo "irc-test: the WeeChat plug-in is not built: no $plugin (make native builds it)" >&2
  exit 1
fi
# The load test's timer probe is a python script inside WeeChat.
if [ "$test" = load ] && ! ls /usr/lib/*/weechat/plugins/python.so >/dev/null 2>&1; then
  echo "irc-test: WeeChat's python plug-in is missing (Debian package weechat-python)" >&2
  exit 1
fi

# On loopback only: "${netns[@]}" runs in a namespace of its own.
. scripts/loopback-only.sh

out=$(mktemp)
trap 'rm -f "$out"' EXIT
# Debian's python3, which has python3-irc, whatever python3 comes first in PATH.
"${netns[@]}" /usr/bin/python3 -u "tests/irc/${test}_test.py" --plugin "$plugin" | tee "$out"
figures=$(sed -n 's/^  figures: //p' "$out")
echo "$what: $(tail -n 1 "$out")${figures:+ ($figures)}" >>"$summary"
