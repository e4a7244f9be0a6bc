#!/usr/bin/env bash
# Runs a command in a network and mount namespace of its own: loopback only,
# with the built-in platform hosts named in a private hosts file as
# 127.0.0.1. Fixed ports (8112, 7112, 9112, 20214) then belong to this run
# alone, and nothing of the machine is changed.
#   scripts/isolated.sh COMMAND [ARGS...]
# Wine's server owns the sockets: a wineserver of the prefix must be started
# inside (and none may run outside for the same prefix).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
hosts_of_build() {
  local cache=$ROOT/build/win/CMakeCache.txt
  local default=www.velmora.cn second=edu.velmora.cn
  if [ -f "$cache" ]; then
    default=$(sed -n 's/^VELMORA_DEFAULT_HOST:STRING=//p' "$cache")
    second=$(sed -n 's/^VELMORA_SECOND_HOST:STRING=//p' "$cache")
  fi
  echo "$default $second"
}
if [ "${VELMORA_ISOLATED:-}" != 1 ]; then
  export VELMORA_ISOLATED=1 VELMORA_HOSTS="$(hosts_of_build)"
  exec unshare --net --mount --fork -- "$0" "$@"
fi
ip link set lo up
hosts=$(mktemp)
{ echo "127.0.0.1 localhost $(hostname) $VELMORA_HOSTS"; echo "::1 localhost"; } >"$hosts"
mount --bind "$hosts" /etc/hosts
exec "$@"
