#!/usr/bin/env bash
# An internal failure (internalfail.exe alloc|length) ends the program with
# status 70 and shows nothing: no box of the C runtime's own; once a flash
# runs (started), with the status set for it, never 70.
#   internal.sh PREFIX INTERNALFAIL BOXDRIVER alloc|length|started
set -u
export WINEDEBUG=-all
source "$(dirname "$0")/common.sh"
[ $# = 4 ] || { sed -n 's/^#   //p' "$0" | sed '1s/^/usage: /' >&2; exit 64; }
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then echo "SKIP: needs root and mount namespaces"; exit 77; fi
export WINEPREFIX=$(realpath "$1")
program=$(realpath "$2") boxdriver=$(realpath "$3") failure=$4
in_room with_x wine "$boxdriver" "$(winpath "$program")" "$(winpath "$work")" 60 "$failure" > "$work/report" 2> "$work/stderr"
status=70
[ "$failure" = started ] && status=6
want=$(printf 'wow64=0\nexit=%s' $status)
check "internal failure $failure: no box, exit status $status" "$(tr -d '\r' < "$work/report")" "$want" ||
  head -20 "$work/stderr"
summary
