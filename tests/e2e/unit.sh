#!/usr/bin/env bash
# Runs a Windows test program (the unit tests) under Wine, in a room of its
# own on the shared prefix (in_room in common.sh), and passes on its status.
#   unit.sh PREFIX PROGRAM [ARGUMENTS...]
# Without root or mount namespaces no Wine case can run beside it, and it
# runs on the prefix itself.
set -u
export WINEDEBUG=-all
source "$(dirname "$0")/common.sh"
[ $# -ge 2 ] || { sed -n 's/^#   //p' "$0" | sed '1s/^/usage: /' >&2; exit 64; }
export WINEPREFIX=$(realpath "$1")
shift
if [ "$(id -u)" = 0 ] && unshare -m true 2> /dev/null; then
  in_room with_x wine "$@"
else
  with_x wine "$@"
fi
