#!/usr/bin/env bash
# Runs a Windows test program (the unit tests) under Wine, in a room of its
# own on the shared prefix (in_room in common.sh), and passes on its status.
#   unit.sh PREFIX PROGRAM [ARGUMENTS...]
# The unit tests need no display, and get none: under X, with other Wine
# tests running beside it, the Wine process of the passed tests crashed as it
# ended, now and then (1 run in 36; none in 72 without a display).
# Without root or mount namespaces no Wine case can run beside it, and it
# runs on the prefix itself.
set -u
export WINEDEBUG=-all
source "$(dirname "$0")/common.sh"
[ $# -ge 2 ] || { sed -n 's/^#   //p' "$0" | sed '1s/^/usage: /' >&2; exit 64; }
export WINEPREFIX=$(realpath "$1")
shift
unset DISPLAY
run() { wine "$@"; status=$?; wineserver -k 2> /dev/null; wineserver -w; exit $status; }
export -f run
if [ "$(id -u)" = 0 ] && unshare -m true 2> /dev/null; then
  in_room bash -c 'run "$@"' _ "$@"
else
  bash -c 'run "$@"' _ "$@"
fi
