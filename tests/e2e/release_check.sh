#!/usr/bin/env bash
# The release check, run as a release engineer would, on a board of the test's
# choosing: every check holds (elevation and the drive root skipped), or, for a
# control gate, the checks it must fail fail.
#   release_check.sh PREFIX KESTREL_CHECK PROGRAM VERSION|nowmi [KIND] [temp] [name=FILE] [dpi=N] [unseen=BOXDRIVER]
#                    [cover=COVER [stays]] [battery] [slow_wmi] [temp_mount|temp_mount_ro] [job=BOXDRIVER] [junit_lost]
#                    [junit_cut]
#     control     the gate loads a planted DLL by bare name: the planted-DLL
#                 check fails naming it;
#     map_only    it maps it without running its code: the same;
#     driver      it loads msacm32.drv by bare name, which Wine is told to
#                 look for as Windows does (its own is otherwise taken
#                 whatever the folder holds): the same, naming the driver;
#     error_icon  it shows its box with the error icon: every road check fails;
#     child       a copy of it that it starts loads the DLL: the same, naming
#                 the copy;
#     twice       it starts the utility twice: every launch-road check fails;
#     cwd         it starts the current folder's utility: the same;
#     waits       it waits for the utility: every launch-road check fails;
#     job         its job ends the utility as it ends: the same;
#     unquoted    it names the utility's path unquoted, and the decoy where
#                 the path is cut starts: the same;
#     cmd         it starts the utility through cmd.exe by bare name, and
#                 the planted one beside it starts: the same;
#     absent_load without a utility it loads a DLL by bare name: the
#                 status-3 road fails;
#     abort_retry_ignore
#                 its box has three buttons: every box check fails;
#     escape      a copy of it started under another parent stays: the
#                 stages fail on it, and it is ended;
#     loud        it shows its box under /quiet and /check: the fleet lines
#                 fail;
#     temp        TEMP and TMP in a folder named "José-固件";
#     name=FILE   the program copied under that name;
#     dpi=N       the screen's DPI;
#     unseen=BOXDRIVER
#                 the check started by BOXDRIVER on a window station nobody
#                 sees: the box roads are checked for no box, and hold;
#     cover=COVER a window over the screen's centre, above every other,
#                 while the check runs;
#     stays       with cover=: the window puts itself on top again and again
#                 (a kiosk's, a call's);
#     battery     the machine on battery (a battery present, the mains off):
#                 the fleet launch is refused with 4, nothing waits;
#     slow_wmi    the board answered 8 s late to a read made while a flash
#                 runs (a WMI service that has just started): the runs
#                 during the busy stage's flash still end with 1618, and
#                 hold; only the waited stages run;
#     temp_mount  %TEMP% a mount point (a profile on a disk of its own), which
#                 Wine shows as a reparse point: the scratch folder is made
#                 in C:\ instead, and the fleet stages with their logs hold;
#     temp_mount_ro
#                 the same with C:\ read-only: the scratch folder stays under
#                 %TEMP%, and each stage with a log says skipped and why;
#     job=BOXDRIVER
#                 the check started by BOXDRIVER in a job that allows no
#                 breakaway (an agent's): the report says so, and the waited
#                 stages, the only ones run, hold;
#     junit_lost  the JUnit file asked for in a folder that is not there: the
#                 road holds, the console says the file was not written, and
#                 the run ends with 2, not 0 (only the road runs).
#     junit_cut   the check ended by force once it has begun, over an earlier
#                 run's JUnit file that passed: the file says the check did
#                 not finish (only the road is asked for).
#     minute      kestrel.exe through the time limit's stage too (a real
#                 minute; the other cases leave it out);
#     no_target   kestrel.exe passing /target: over: the machine's own
#                 version is flashed;
#     misspelt    it passes a misspelt /taget: over: the same;
#     no_timeout  it passes /timeout: over: the waited run is not over a
#                 minute after the start;
#     no_tail     what follows "--" never reaches the utility;
#     check_first /check read only as the first argument: /bitlocker /check
#                 flashes;
#     glued_log   the gate appends its line to a log whose last line has no
#                 line feed, joining the two;
#     process_lock
#                 no lock object, a process of the utility's name taken for
#                 a flash: a user's object of the lock's name stops nothing;
#     load_1618   as process_lock, and on the 1618 road it loads a DLL by bare
#                 name: the double-click during a flash fails, naming it;
#     wait_lock   a lock that only a waiting run takes: a double-click during
#                 a flash that did not wait starts a second one;
#     no_breakaway
#                 the utility started inside the gate's job: an agent's job
#                 that ends its processes ends the flash;
#     status_1641 kestrel.exe reading the utility's 1641 as 0: the waited
#                 run's line fails;
#     status_crash
#                 the same, a crash's status read as 0;
#     log_zero    a gate that ends with 0 when its log cannot be opened;
#     own_keys    one whose log lines have keys of its own, not the 24;
#     absent_box  one that tells a missing utility in a box under /quiet;
#     retry_crash one that starts the utility again after it crashed, under
#                 /wait;
#     child_grace one that, under /wait, gives the utility's children three
#                 seconds after the utility's end instead of waiting for them;
#     split_line  one that writes each log line in two pieces, sharing the
#                 file: runs at once into one log break each other's lines;
#     drop_line   one that drops its line when another run holds the log (no
#                 retry): runs at once into one log lose a line;
#     no_starting kestrel.exe writing no line "starting" before the start;
#     late_starting
#                 it holds the line "starting" back until its last: the run
#                 ended during the flash leaves none;
#     own_statuses
#                 it passes the utility's 10, 11, 12, 259 and 1618 on;
#     battery_wait
#                 it looks at the power only when it does not wait: on
#                 battery, /wait /target: flashes;
#     number      it reads the board's version as a number: 034A flashed.
# The kinds of kestrel.exe careless in one way are one build
# (kestrel_careless.exe), told its fault by KESTREL_CARELESS.
# The settings go into the case's own prefix (an overlay of the shared one).
set -u
export WINEDEBUG=-all
source "$(dirname "$0")/common.sh"
[ $# -ge 4 ] || { sed -n 's/^#   //p' "$0" | sed '1s/^/usage: /' >&2; exit 64; }
export WINEPREFIX=$(realpath "$1")
tool=$(realpath "$2") program=$(realpath "$3") version=$4
shift 4
kind=kestrel temp=no name=kestrel.exe dpi="" unseen="" cover="" stays="" battery=no slow=no temp_mount=no junit=report.xml jobdriver=""
minute=no cut=no
for option; do
  case $option in
    control|map_only|driver|error_icon|child|twice|cwd|waits|job|unquoted|cmd|absent_load|abort_retry_ignore|escape|loud) kind=$option ;;
    no_target|misspelt|no_timeout|no_tail|check_first|glued_log|process_lock|no_breakaway) kind=$option ;;
    status_1641|status_crash|load_1618|wait_lock|log_zero|absent_box|retry_crash|own_keys|child_grace) kind=$option ;;
    split_line|drop_line|no_starting|late_starting|own_statuses|battery_wait|number) kind=$option ;;
    minute) minute=yes ;;
    cover=*) cover=${option#cover=} ;;
    battery) battery=yes ;;
    slow_wmi) slow=yes ;;
    stays) stays=stay ;;
    temp_mount) temp_mount=yes ;;
    temp_mount_ro) temp_mount=ro ;;
    junit_lost) junit='missing\report.xml' ;;
    junit_cut) cut=yes ;;
    temp) temp=yes ;;
    name=*) name=${option#name=} ;;
    dpi=*) dpi=${option#dpi=} ;;
    unseen=*) unseen=${option#unseen=} ;;
    job=*) jobdriver=${option#job=} ;;
    *) echo "release_check.sh: unknown option $option"; exit 64 ;;
  esac
done
# A careless gate's fault shows in a few stages (check_verdicts.sh reads no
# others): the check runs those alone (--stages), and says the rest skipped.
# kestrel.exe itself goes through every stage.
case $kind in
  control|map_only|driver|child) stages=road,planted,manifest ;;
  twice|cwd|abort_retry_ignore) stages=road,planted,manifest,beside,hidden ;;
  error_icon) stages=road,planted,manifest,hidden ;;
  waits|job|unquoted|cmd) stages=road,planted,manifest,hidden,fleet ;;
  absent_load) stages=road,beside ;;
  escape) stages=road ;;
  loud) stages=road,fleet,bitlocker ;;
  no_target|misspelt) stages=target ;;
  no_timeout) stages=timeout ;;
  no_tail) stages=tail ;;
  check_first) stages=bitlocker ;;
  glued_log|log_zero|own_keys) stages=oldlog ;;
  absent_box) stages=tail ;;
  retry_crash|child_grace) stages=wait ;;
  process_lock|load_1618|wait_lock) stages=lock ;;
  no_breakaway) stages=agentjob ;;
  status_1641|status_crash|no_starting|late_starting|own_statuses) stages=wait ;;
  split_line|drop_line) stages=oldlog ;;
  battery_wait) stages=target ;;
  number) stages=road ;;
  *) stages="" ;;
esac
case $kind in
  no_target|misspelt|no_timeout|no_tail|check_first|status_1641|status_crash|no_starting|late_starting|own_statuses|battery_wait|number)
    export KESTREL_CARELESS=$kind ;;
esac
# The time limit's stage costs a real minute: kestrel.exe goes through it
# where asked (minute), every other stage everywhere.
every=road,planted,manifest,beside,hidden,drive,fleet,wait,target,timeout,tail,oldlog,bitlocker,lock,agentjob
[ $kind = kestrel ] && [ $minute = no ] && stages=${every/,timeout/}
# The cases of one setting run the stages it shows in.
[ $slow = yes ] && stages=wait
[ $temp_mount = yes ] && stages=fleet,wait
# With C:\ read-only, the stages with a log of every kind: each says skipped.
[ $temp_mount = ro ] && stages=fleet,wait,target,oldlog,lock,agentjob
[ "$junit" != report.xml ] && stages=road
[ $cut = yes ] && stages=road
[ -n "$jobdriver" ] && stages=wait
asked() { [ -z "$stages" ] || [[ ,$stages, == *,$1,* ]]; }
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then echo "SKIP: needs root and mount namespaces"; exit 77; fi
mkdir -p "$work/release"
cp "$tool" "$work/release/kestrel-check.exe"
cp "$program" "$work/release/$name"
# An earlier run's report, every stage passed.
[ $cut = yes ] && printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' \
  '<testsuites><testsuite name="kestrel-check" tests="1" failures="0" errors="0" skipped="0">' \
  '<testcase name="road" classname="kestrel-check"><system-out>held     road: earlier</system-out></testcase>' \
  '</testsuite></testsuites>' > "$work/release/report.xml"
# The report as JUnit XML too, read back below.
export RUN="kestrel-check.exe${stages:+ --stages=$stages} --junit=$junit" COVER="" STAYS=$stays
if [ -n "$cover" ]; then
  cp "$cover" "$work/release/cover.exe"
  COVER=cover.exe
fi
if [ -n "$unseen" ]; then
  cp "$unseen" "$work/release/boxdriver.exe"
  RUN="boxdriver.exe --unseen kestrel-check.exe . 280${stages:+ --stages=$stages}"
fi
if [ -n "$jobdriver" ]; then
  cp "$jobdriver" "$work/release/boxdriver.exe"
  RUN="boxdriver.exe --job=stay kestrel-check.exe . 280 --stages=$stages --junit=$junit"
fi
[ "$version" = nowmi ] && export WINEDLLOVERRIDES="wbemprox=d" && version=34B
[ $kind = driver ] && export WINEDLLOVERRIDES="msacm32.drv=n,b"
settings=()
if [ $temp = yes ]; then
  mkdir "$work/José-固件"
  settings+=("HKCU\\Environment|TEMP|REG_SZ|$(winpath "$work/José-固件")" "HKCU\\Environment|TMP|REG_SZ|$(winpath "$work/José-固件")")
fi
[ -n "$dpi" ] && settings+=("HKCU\\Control Panel\\Desktop|LogPixels|REG_DWORD|$dpi")
# The settings and the run under one display: a Wine desktop made before Xvfb
# would have none.
export BATTERY=$battery SLOW=$slow TEMP_MOUNT=$temp_mount CUT=$cut
LANG=C.UTF-8 in_room bash -c 'fake_board "$1" && cd "$2" &&
  if [ "$SLOW" = yes ]; then
    # The board'"'"'s version through a pipe, 8 s late while a flash runs.
    python3 "$3" /sys/class/dmi/id/board_version "$1" 8 "$2/stop" > "$2/feeder.out" &
    feeder=$!
    until grep -q up "$2/feeder.out" 2> /dev/null; do kill -0 $feeder || exit 1; sleep 0.1; done
  fi &&
  if [ "$TEMP_MOUNT" = ro ]; then
    mount --bind "$WINEPREFIX/drive_c" "$WINEPREFIX/drive_c" &&
      mount -o remount,bind,ro "$WINEPREFIX/drive_c" || exit 1
  fi &&
  if [ "$TEMP_MOUNT" != no ]; then
    mount -t tmpfs none "$WINEPREFIX/drive_c/users/$(id -un)/Temp" || exit 1
  fi &&
  if [ "$BATTERY" = yes ]; then
    mkdir -p /sys/class/power_supply/AC /sys/class/power_supply/BAT0
    echo Mains > /sys/class/power_supply/AC/type; echo 0 > /sys/class/power_supply/AC/online
    echo Battery > /sys/class/power_supply/BAT0/type; echo Discharging > /sys/class/power_supply/BAT0/status
    echo 1 > /sys/class/power_supply/BAT0/present; echo 50 > /sys/class/power_supply/BAT0/capacity
  fi && with_x bash -c '"'"'
    for setting in "${@:2}"; do
      IFS="|" read -r key value type data <<< "$setting"
      wine reg add "$key" /v "$value" /t "$type" /d "$data" /f > /dev/null 2>&1
    done
    # A window over the centre, up before the check starts.
    if [ -n "$COVER" ]; then
      wine "$COVER" 280 $STAYS > cover.out 2> /dev/null &
      until grep -q up cover.out 2> /dev/null; do sleep 0.1; done
    fi
    if [ "$CUT" = yes ]; then
      # Ended by force once it has told the machine: its runs, debugged, go with it.
      wine $RUN "$1" > report 2> report.err & run=$!
      until grep -q "^machine: " report 2> /dev/null; do kill -0 $run 2> /dev/null || break; sleep 0.05; done
      kill -9 $run 2> /dev/null; { wait $run; } 2> /dev/null; echo $? > status
    else
      wine $RUN "$1" > report 2> report.err; echo $? > status
    fi'"'"' _ "${@:4}"
  status=$?
  # The feeder let go: told to stop, then read once (it waits for a reader).
  if [ -n "${feeder:-}" ]; then
    touch "$2/stop"
    kill -0 $feeder 2> /dev/null && timeout 20 cat /sys/class/dmi/id/board_version > /dev/null
    wait $feeder || status=1
  fi
  exit $status' \
  _ "$version" "$work/release" "$(dirname "$(realpath "$0")")/slow_board.py" "$name" "${settings[@]}"
room=$?
report=$(tr -d '\r' < "$work/release/report")
if [ -n "$unseen$jobdriver" ]; then  # the driver ends the report with the check's status
  sed -n 's/^exit=//p' <<< "$report" > "$work/release/status"
  report=$(grep -vE '^(wow64|exit)=' <<< "$report")
fi
[ -n "$unseen" ] && check "the note says nobody sees a box here" "$(grep -c '^note: nobody sees a box here ' <<< "$report")" 1
[ -n "$jobdriver" ] && check "the job the check runs in, as the report says" \
  "$(grep -c '^machine: job: the check runs in one that allows no breakaway: the utility stays in it$' <<< "$report")" 1
echo "$report"
check "the room ended, nothing left in it" "$room" 0
# The JUnit file, parsed, says what the console said (the box driver's runs
# write none).
if [ -z "$unseen" ] && [ "$junit" = report.xml ] && [ $cut = no ]; then
  printf '%s\n' "$report" > "$work/release/console"
  step "the JUnit report parsed, a test case a line of the console's" \
    python3 "$(dirname "$0")/junit_report.py" "$work/release/report.xml" "$work/release/console"
fi
if [ $cut = yes ]; then
  check "the check ended by force" "$(cat "$work/release/status")" 137
  step "its JUnit file says it did not finish, and no earlier pass" python3 -c '
import sys, xml.etree.ElementTree as ET
suite = ET.parse(sys.argv[1]).getroot().find("testsuite")
errors = [e.get("message") for e in suite.iter("error")]
sys.exit(not (suite.get("errors") == "1" and errors == ["the check did not finish"] and
              suite.find("testcase/system-out") is None))' "$work/release/report.xml"
  summary; exit
fi
# Every module image of the system folders is planted, not the DLLs alone (Wine
# has drivers, codecs and controls there too).
names=$(sed -nE 's/^planted DLL names: ([0-9]+) .*/\1/p' <<< "$report")
check "planted DLL names counted" "$([ "${names:-0}" -gt 100 ] && echo many)" "many"
check "drivers, codecs and controls among them" \
  "$(grep -cE '^planted DLL names: [0-9]+ \(.*\.acm [1-9].*\.drv [1-9].*\.ocx [1-9]' <<< "$report")" 1
check "the static imports read against KnownDLLs" "$(grep -c '^held     static imports: ' <<< "$report")" 1
check "elevation skipped" "$(grep -c '^skipped  elevation: ' <<< "$report")" 1
if asked drive; then
  check "the drive letter skipped: Wine reaches drives through dosdevices only" \
    "$(grep -c '^skipped  root of a drive: the stage cannot be reached through ' <<< "$report")" 1
fi
asked planted && check "the control gate's load seen" "$(grep -c '^control: .* was seen$' <<< "$report")" 1
# Only the stages asked for ran; each other one is named skipped.
left_out=0
for stage in ${every//,/ }; do asked $stage || left_out=$((left_out + 1)); done
check "the stages not asked for named skipped" "$(grep -c '^skipped  .*: not among --stages$' <<< "$report")" $left_out
failed=$(grep '^FAILED' <<< "$report")
# The board's road, as the check predicts it: the fleet stages that wait run
# only where a flash may start.
road=launch
[ "$version" != 34B ] && road=box
[ "${WINEDLLOVERRIDES:-}" = "wbemprox=d" ] && road=box
source "$(dirname "$0")/check_verdicts.sh"
# Paths and names outside ASCII come through whole.
if [ $temp = yes ]; then
  check "the scratch folder named whole" "$(grep -v '^note: ' <<< "$report" | grep -q 'José-固件' && echo named)" named
fi
[ "$name" != kestrel.exe ] &&
  check "the program named whole" "$(grep '^kestrel-check: checking ' <<< "$report" | grep -cF "\\$name")" 1
summary
