# Sourced by the scripts that start WeeChat: its DCC sockets listen on
# every interface, so where we may (root, with ip and unshare) the command
# runs in a network namespace of its own whose only interface is loopback.
# Sets `netns`, the command prefix that does so (empty where we may not):
#   "${netns[@]}" command args...
netns=()
if [ "$(id -u)" -eq 0 ] && command -v ip >/dev/null && unshare --net true 2>/dev/null; then
  netns=(unshare --net sh -c 'ip link set lo up && exec "$@"' sh)
fi
