# Sourced by fleet_case.sh and fleet_log_case.sh, which define steps (a
# case's runs, inside the room, under X) and checks (what must come of them,
# outside): the room, the runs of kestrel.exe through boxdriver, and what a
# case reads of them. One case a run, in a room of its own (common.sh) with
# the board 34B.
#   SCRIPT PREFIX KESTREL BOXDRIVER STANDIN_ENDS SQUATTER CASE
# The stand-in WinPhlash.exe records each start and end in launched.txt and
# ends as ends.txt says ("PAUSE_MS STATUS [CHILD_MS]": with CHILD_MS it
# first starts a child that lives that long and records "child ended").
set -u
export WINEDEBUG=-all
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

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
  # report in NAME.report. With JOB=leave or JOB=stay, inside an agent's job
  # that is closed once it has ended (boxdriver --job).
  kestrel() {
    local name=$1 timeout=$2; shift 2
    wine "$boxdriver" ${JOB:+"--job=$JOB"} "$(winpath "$bin/kestrel.exe")" "$(winpath "$work/cwd")" "$timeout" "$@" \
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
  steps
  exit 0
fi

[ $# -eq 6 ] || { echo "usage: $0 PREFIX KESTREL BOXDRIVER STANDIN_ENDS SQUATTER CASE" >&2; exit 64; }
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
checks
summary
