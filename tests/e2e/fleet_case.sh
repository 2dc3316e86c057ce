#!/usr/bin/env bash
# Fleet runs of the real kestrel.exe under Wine that take more than one run:
# a second run while a flash lives, a kestrel ended by force, a flash whose
# child outlives the utility, a squatter on the lock's name, a log on a full
# file system or one that is a link. One case a run, in a room of its own
# (common.sh) with the board 34B.
#   fleet_case.sh PREFIX KESTREL BOXDRIVER STANDIN_ENDS SQUATTER CASE
# The stand-in WinPhlash.exe records each start and end in launched.txt and
# ends as ends.txt says ("PAUSE_MS STATUS [CHILD_MS]": with CHILD_MS it
# first starts a child that lives that long and records "child ended").
set -u
export WINEDEBUG=-all
source "$(dirname "$0")/common.sh"

# The line a log holds before the full disk's case: 4091 bytes with its line
# feed, 5 short of a page.
seed() { printf '{"seed":"%s"}\n' "$(head -c 4079 /dev/zero | tr '\0' x)"; }

# Inside the room, under X: the case's steps (below), in the outer run's
# work folder, with the paths it exported.
if [ "${1:-}" = --inside ]; then
  trap - EXIT
  rmdir "$work"
  work=$CASE_WORK
  # kestrel NAME TIMEOUT ARGUMENT...: runs kestrel.exe through boxdriver,
  # which ends it by force (TerminateProcess) after TIMEOUT seconds; its
  # report in NAME.report.
  kestrel() {
    local name=$1 timeout=$2; shift 2
    wine "$boxdriver" "$(winpath "$bin/kestrel.exe")" "$(winpath "$work/cwd")" "$timeout" "$@" \
      > "$work/$name.report" 2> "$work/$name.err"
  }
  # until_recorded LINE COUNT: waits (up to 30 s) until the stand-in's
  # record holds COUNT lines that begin with LINE.
  until_recorded() {
    for _ in $(seq 300); do
      [ "$(grep -c "^$1" "$bin/launched.txt" 2> /dev/null || :)" -ge "$2" ] 2> /dev/null && return 0
      sleep 0.1
    done
    echo "never recorded: $2 × $1" >> "$work/steps.err"
    return 1
  }
  # until_flash_over: waits (up to 30 s) until no stand-in of this room
  # runs: its record of an end comes just before the end itself.
  until_flash_over() {
    local p
    for _ in $(seq 300); do
      for p in /proc/[0-9]*; do
        [ "$p/ns/mnt" -ef /proc/$$/ns/mnt ] && tr '\0' ' ' < "$p/cmdline" 2> /dev/null | grep -q WinPhlash && break
        p=""
      done
      [ -z "$p" ] && return 0
      sleep 0.1
    done
    echo "the flash never ended" >> "$work/steps.err"
    return 1
  }
  # squat KIND [DACL]: a standard user's object of the lock's name (or
  # LOCK_NAME's), held.
  squat() {
    wine "$squatter" "$1" "${LOCK_NAME:-Global\kestrel-flash-job}" 60 ${2:+"$2"} > "$work/squat.out" 2>&1 &
    for _ in $(seq 100); do grep -q held "$work/squat.out" && return 0; sleep 0.1; done
    echo "squatter: $(cat "$work/squat.out")" >> "$work/steps.err"
    return 1
  }
  log="\"/log:$(winpath "$logs/fleet.log")\""
  case $name in
    killed_wait)
      echo "10000 0" > "$bin/ends.txt"
      # Ended by force while it waits on the flash; a second run meanwhile.
      kestrel first 3 /quiet /wait "$log"
      grep -c '^started' "$bin/launched.txt" > "$work/started.before-second"
      cp "$logs/fleet.log" "$work/fleet.log.while-flash"
      kestrel second 60 /quiet /wait "$log"
      # Once the flash has ended, the lock is gone with it.
      until_recorded ended 1 && until_flash_over
      echo "1000 0" > "$bin/ends.txt"
      kestrel third 60 /quiet /wait "$log" ;;
    nowait_then_wait)
      echo "8000 0" > "$bin/ends.txt"
      kestrel first 60 /quiet "$log"
      kestrel second 60 /quiet /wait "$log"
      until_recorded ended 1 ;;
    child_outlives)
      echo "0 0 6000" > "$bin/ends.txt"
      kestrel first 60 /quiet /wait "$log" &
      waiting=$!
      until_recorded ended 1
      kestrel second 60 /quiet "$log"
      wait $waiting
      # The record as it stood when the waiting run ended.
      cp "$bin/launched.txt" "$work/launched.at-first-end" ;;
    many_at_once)
      # After a flash that is over (whose job Wine keeps), eight runs at
      # once: one takes the lock, the others find its flash.
      echo "500 0" > "$bin/ends.txt"
      kestrel first 60 /quiet /wait "$log"
      until_flash_over
      echo "15000 0" > "$bin/ends.txt"
      for n in 1 2 3 4 5 6 7 8; do kestrel "many$n" 60 /quiet "$log" & done
      wait
      until_flash_over ;;
    time_limit)
      # A flash of 90 s, a wait of a minute at most: kestrel stops waiting,
      # the flash goes on and keeps the lock.
      echo "90000 0" > "$bin/ends.txt"
      kestrel first 120 /quiet /wait /timeout:1 "$log"
      cp "$bin/launched.txt" "$work/launched.at-first-end"
      kestrel second 60 /quiet "$log" ;;
    squat_mutex)
      squat mutex && kestrel first 60 /quiet "$log" && until_recorded started 1 ;;
    squat_event)
      squat event '(A;;GA;;;WD)' && kestrel first 60 /quiet "$log" && until_recorded started 1 ;;
    squat_job)
      # Anyone may open it: only its owner tells it from the lock.
      squat job '(A;;GA;;;WD)' && kestrel first 60 /quiet "$log" && until_recorded started 1 ;;
    tail_too_long)
      # kestrel.exe started by a short relative path, so that its own command
      # line still fits (32,767 characters with its null) where the
      # utility's, with the full path of its folder, does not.
      head -c $((32766 - 28)) /dev/zero | tr '\0' x > "$work/tail"
      cd "$work" && wine "$boxdriver" 'bin\kestrel.exe' "$(winpath "$work/cwd")" 60 /quiet -- "@$(winpath "$work/tail")" \
        > "$work/first.report" 2> "$work/first.err" ;;
    log_full)
      # A log whose last page has 5 bytes free, and no page left: the first
      # run's line does not fit; the second one's does, once room is made.
      # The small file system is the root of a drive of its own: a folder
      # that another file system is mounted on reads as a reparse point
      # (as a volume mounted in a folder does on Windows), which no log is
      # reached through.
      mount -t tmpfs -o size=16k none "$logs"
      ln -s "$logs" "$WINEPREFIX/dosdevices/l:"
      log='"/log:L:\fleet.log"'
      seed > "$logs/fleet.log"
      head -c 12288 /dev/zero > "$logs/filler"
      kestrel first 60 /quiet "$log"
      until_recorded started 1 && until_flash_over
      cp "$logs/fleet.log" "$work/fleet.log.full"
      rm "$logs/filler"
      kestrel second 60 /quiet "$log"
      cp "$logs/fleet.log" "$work/fleet.log.final" ;;
    log_fragment)
      printf '{"time":"x","board":"1' > "$logs/fleet.log"
      kestrel first 60 /quiet "$log"
      cp "$logs/fleet.log" "$work/fleet.log.final" ;;
    log_through_mount)
      # A folder on the log's way that is a reparse point: Wine shows a
      # mount point as one, as Windows shows a junction a user made.
      mkdir "$logs/other" && mount -t tmpfs none "$logs/other"
      kestrel first 60 /quiet "\"/log:$(winpath "$logs/other/fleet.log")\""
      ls "$logs/other" > "$work/other.list" ;;
    log_hard_link)
      echo precious > "$logs/other.txt"
      ln "$logs/other.txt" "$logs/fleet.log"
      kestrel first 60 /quiet "$log" ;;
  esac
  exit 0
fi

[ $# -eq 6 ] || { sed -n 's/^#   //p' "$0" | sed '1s/^/usage: /' >&2; exit 64; }
export WINEPREFIX=$(realpath "$1")
if [ "$(id -u)" != 0 ] || ! unshare -m true 2> /dev/null; then
  echo "SKIP: needs root and mount namespaces"; exit 77
fi
export boxdriver=$(realpath "$3") squatter=$(realpath "$5") name=$6
export bin=$work/bin logs=$work/logs CASE_WORK=$work
mkdir -p "$bin" "$work/cwd" "$logs"
cp "$(realpath "$2")" "$bin/kestrel.exe"
cp "$(realpath "$4")" "$bin/WinPhlash.exe"
script=$(realpath "$0")
in_room bash -c 'fake_board 34B && with_x bash "$1" --inside' _ "$script"
room=$?

# What each run reported, and how many flashes started.
report() { tr -d '\r' < "$work/$1.report" 2> /dev/null | paste -sd ' '; }
started() { grep -c '^started' "$bin/launched.txt" 2> /dev/null; }
# The line before a start, then the run's end.
starting='{"board":"34B","decision":"starting"}'
launched='{"board":"34B","decision":"starting"}
{"board":"34B","decision":"launched","status":0}'
waited='{"board":"34B","decision":"launched","status":0,"utility":0}'
running='{"board":"34B","decision":"flash running","status":1618}'

check "the room ended clean" "$room" 0
[ -s "$work/steps.err" ] && check "every step happened" "$(cat "$work/steps.err")" ""
case $name in
  killed_wait)
    check "the first run was ended while its flash ran" "$(report first) $(cat "$work/started.before-second")" \
      "timeout 1"
    check "a run while the flash lives starts nothing" "$(report second)" "wow64=0 exit=1618"
    check "a run once it has ended starts the flash" "$(report third)" "wow64=0 exit=0"
    check "two flashes, one after the other" "$(started)" 2
    check "the line before the start is there while the flash runs" "$(log_lines "$work/fleet.log.while-flash")" \
      "$starting"
    check "the log, the killed run's line before its start too" "$(log_lines "$logs/fleet.log")" "$starting
$running
$starting
$waited" ;;
  nowait_then_wait)
    check "the first run ends at once" "$(report first)" "wow64=0 exit=0"
    check "a waiting run while its flash lives starts nothing" "$(report second)" "wow64=0 exit=1618"
    check "one flash" "$(started)" 1
    check "the log" "$(log_lines "$logs/fleet.log")" "$launched
$running"
    check "a run's lines share its id" "$(jq -r .run "$logs/fleet.log" | uniq -c | awk '{print $1}' | paste -sd' ')" \
      "2 1" ;;
  child_outlives)
    check "the waiting run ends with the utility's status" "$(report first)" "wow64=0 exit=0"
    check "it ended after the flash's child" "$(tr -d '\r' < "$work/launched.at-first-end" | tail -1)" "child ended"
    check "a run while the child lives starts nothing" "$(report second)" "wow64=0 exit=1618"
    check "one flash" "$(started)" 1
    check "the log" "$(log_lines "$logs/fleet.log")" "$starting
$running
$waited" ;;
  many_at_once)
    check "one of eight runs at once starts the flash" \
      "$(for n in 1 2 3 4 5 6 7 8; do report "many$n"; done | sort | uniq -c | sed 's/^ *//')" \
      "1 wow64=0 exit=0
7 wow64=0 exit=1618"
    check "two flashes, one after the other" "$(started)" 2 ;;
  time_limit)
    check "the wait stops at its limit, with its own status" "$(report first)" "wow64=0 exit=9"
    check "the flash was still running then" "$(tr -d '\r' < "$work/launched.at-first-end" | cut -d' ' -f1)" started
    check "and kept the lock" "$(report second)" "wow64=0 exit=1618"
    check "one flash" "$(started)" 1
    check "the log" "$(log_lines "$logs/fleet.log")" "$starting"'
{"board":"34B","decision":"timed out","status":9}
'"$running" ;;
  squat_*)
    check "the squatter's object is no flash" "$(report first)" "wow64=0 exit=0"
    check "the flash started" "$(started)" 1
    check "the log" "$(log_lines "$logs/fleet.log")" "$launched" ;;
  log_full)
    check "a full disk changes no status" "$(report first) $(report second)" "wow64=0 exit=0 wow64=0 exit=0"
    check "the line that did not fit left nothing" "$(cmp -s "$work/fleet.log.full" <(seed) && echo same)" same
    check "every line is whole" "$(log_lines "$work/fleet.log.final" | sed 's/"x*"/"…"/')" '{"seed":"…"}
'"$launched" ;;
  tail_too_long)
    check "a tail the utility's command line cannot hold is a usage error" "$(report first)" "wow64=0 exit=7"
    check "nothing started" "$(started)" "" ;;
  log_fragment)
    check "the fragment is cut and the line whole" "$(log_lines "$work/fleet.log.final")" "$launched" ;;
  log_through_mount)
    check "the run goes on" "$(report first)" "wow64=0 exit=0"
    check "nothing is written through the reparse point" "$(cat "$work/other.list")" "" ;;
  log_hard_link)
    check "the run goes on" "$(report first)" "wow64=0 exit=0"
    check "the other file is unchanged" "$(cat "$logs/other.txt")" precious ;;
  *) echo "no such case: $name"; exit 64 ;;
esac
summary
