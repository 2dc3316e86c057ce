# Sourced by the test scripts: what they share.

# A working folder that goes when the script ends; with KEEP=1 it stays and
# its path is printed. A script adds what else must be undone at its end to
# at_exit.
work=$(mktemp -d)
at_exit=""
finish() {
  eval "$at_exit"
  if [ -n "${KEEP:-}" ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap finish EXIT

# A Windows path through drive Z:, without winepath: a Wine process started
# before Xvfb would make a desktop with no display.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# Ends the prefix's wineserver and waits until it has gone.
wine_stop() { wineserver -k 2> /dev/null; wineserver -w; }

# A log's lines without what differs from run to run and machine to machine
# (the start, the version, the run's id, the computer, the account and its
# SID, the session, the firmware's version, the result word, the duration) and without
# the keys whose value is null, one object a line. A line that is not one
# object, or whose keys are not every line's, shows as it stands. jq reads
# each line on its own: a fragment cannot hide in the next.
kLogKeys=started,kestrel,run,computer,account,session,board,boardNotRead,bios,biosNotRead,target,bitlocker,argument
kLogKeys+=,decision,result,status,utility,utilityHex,durationMs,accountSid,agentJob,lockOwner,from,charge
log_lines() {
  local line
  [ -f "$1" ] || return 0
  while IFS= read -r line || [ -n "$line" ]; do
    jq -ec --arg keys "$kLogKeys" 'if type == "object" and (keys_unsorted | join(",")) == $keys
      then del(.started, .kestrel, .run, .computer, .account, .session, .bios, .biosNotRead, .result, .utilityHex,
               .durationMs, .accountSid) | with_entries(select(.value != null)) else error("not a line") end' \
      <<< "$line" 2> /dev/null || printf '%s\n' "$line"
  done < "$1"
}

# What was wanted against what was got, as a unified diff.
differ() { diff -u --label wanted --label got <(printf '%s\n' "$1") <(printf '%s\n' "$2"); }

# Runs a command under an X server of its own and ends the prefix's Wine
# processes while that server still stands: a Wine process left behind when
# its server goes says "X connection to :N broken" on the case's standard
# error. The server picks a free display itself (-displayfd), so servers
# started at once never meet, and takes a cookie of its own (the server reads
# every cookie of its file, whatever display it names). XVFB_ARGS: the
# screen. An existing prefix is started first with its output dropped: the
# services that start with it (now and then one fails on its own) keep that
# output, not the command's.
with_x() {
  local x status server
  x=$(mktemp -d) || return 1
  touch "$x/server" "$x/client"
  mcookie > "$x/cookie" && xauth -q -f "$x/server" add :0 . "$(cat "$x/cookie")" || { rm -rf "$x"; return 1; }
  # shellcheck disable=SC2086
  Xvfb -displayfd 3 -nolisten tcp -auth "$x/server" ${XVFB_ARGS:--screen 0 1280x1024x24} 3> "$x/display" > "$x/log" 2>&1 &
  server=$!
  # The display's number, written once the server takes connections.
  until [ -s "$x/display" ]; do
    kill -0 $server 2> /dev/null || { echo "Xvfb did not start:"; cat "$x/log"; rm -rf "$x"; return 1; } >&2
    sleep 0.05
  done
  xauth -q -f "$x/client" add ":$(cat "$x/display")" . "$(cat "$x/cookie")"
  DISPLAY=:$(cat "$x/display") XAUTHORITY=$x/client bash -c '
    [ -f "$WINEPREFIX/system.reg" ] && wine cmd /c exit > /dev/null 2>&1
    "$@"; status=$?
    wineserver -k 2> /dev/null; wineserver -w; exit $status' _ "$@"
  status=$?
  kill $server; wait $server 2> /dev/null
  rm -rf "$x"
  return $status
}

# Runs a command in a room of its own: a mount namespace where the prefix
# ($WINEPREFIX) is an overlay of the shared one, so that nothing the command
# writes into the prefix (registry, drives, Windows' temporary folder) reaches
# another case or the fixture. Its temporary folder (TMPDIR) is the room's own
# too: Wine keeps its server's folder there, and the overlay's device names
# the server, so the command's wineserver is its own. The upper layer and that
# folder are in a memory file system mounted in the room alone, and go with
# it: a case makes and removes thousands of files (the release check plants
# every system image name), which on the disk's file system cost a third of
# such a case's processor time, in finding free inodes among the ones just
# freed. A process of the room still running
# when the command has returned is a leftover: it is named on standard error
# and in the room's list of leftovers, which fails the script's summary; it
# is ended, and the room's status is a failure.
in_room() {
  mkdir -p "$work/room/layers"
  unshare -m --propagation private bash -c '
    room=$1; shift
    mount -t tmpfs room "$room/layers" && mkdir "$room/layers/upper" "$room/layers/work" "$room/layers/tmp" &&
      mount -t overlay room -o "lowerdir=$WINEPREFIX,upperdir=$room/layers/upper,workdir=$room/layers/work" "$WINEPREFIX" ||
      { echo "in_room: cannot lay the prefix over $WINEPREFIX"; exit 1; }
    export TMPDIR=$room/layers/tmp
    "$@"; status=$?
    left=()
    for p in /proc/[0-9]*; do
      [ "${p#/proc/}" != $$ ] && [ "$p/ns/mnt" -ef /proc/$$/ns/mnt ] && left+=("${p#/proc/}")
    done
    if [ ${#left[@]} -gt 0 ]; then
      for p in "${left[@]}"; do echo "left behind in the room: $p $(tr "\0" " " < /proc/$p/cmdline 2> /dev/null)"; done |
        tee -a "$room/leftovers" >&2
      kill -9 "${left[@]}" 2> /dev/null; status=1
    fi
    exit $status' _ "$work/room" "$@"
}
# The room's commands run in a namespace where the board can be laid down.
source "$(dirname "${BASH_SOURCE[0]}")/fake_board.sh"
export -f with_x fake_board winpath

# Named checks, counted: check NAME GOT WANT compares; step NAME COMMAND...
# passes when the command does. summary prints the closing line and fails
# when any did.
failures=0 passed=0
check() {
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1)); echo "ok   $1"
  else
    failures=$((failures + 1)); echo "FAIL $1"; differ "$3" "$2"; return 1
  fi
}
step() {
  local name=$1; shift
  if "$@" > "$work/step.log" 2>&1; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failures=$((failures + 1)); echo "FAIL $name"; tail -20 "$work/step.log"
  fi
}
summary() {
  [ -s "$work/room/leftovers" ] && check "nothing left behind in the room" "$(cat "$work/room/leftovers")" ""
  echo "$passed passed, $failures failed"; [ "$failures" = 0 ]
}
