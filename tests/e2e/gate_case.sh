#!/usr/bin/env bash
# Runs the real kestrel.exe under Wine and Xvfb with a board version of the
# test's choosing: one case of the table below.
#   gate_case.sh PREFIX KESTREL BOXDRIVER STANDIN NAME [PLANTED_DLL LOADBARE UNMANIFESTED SEAM]
# Wine's WMI builds Win32_BaseBoard from /sys/class/dmi/id, so each case runs
# in a room of its own (in_room in common.sh: its own mount namespace, prefix
# overlay and wineserver) with a tmpfs over /sys/class holding every
# attribute Wine reads. boxdriver.exe starts kestrel.exe, reads and closes its
# message boxes; the stand-in WinPhlash.exe records its start, show state and
# working folder.
set -u
export WINEDEBUG=-all
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/traces.sh"
source "$(dirname "$0")/plant.sh"
[ $# -ge 5 ] || { sed -n 's/^#   //p' "$0" | sed '1s/^/usage: /' >&2; exit 64; }
export WINEPREFIX=$(realpath "$1")
kestrel=$(realpath "$2") boxdriver=$(realpath "$3") standin=$(realpath "$4") name=$5
planted=${6:+$(realpath "$6")} loadbare=${7:+$(realpath "$7")} unmanifested=${8:+$(realpath "$8")}
seam=${9:+$(realpath "${9}")}
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
  echo "SKIP: needs root and mount namespaces"; exit 77
fi

privilege="You must be logged in with administrator privilege in order to update the system BIOS.  The system BIOS will not be updated."
wrong="This BIOS is not for your Notebook PC."

# Each case: board version, where WinPhlash.exe lies (beside|cwd|none),
# whether WMI is on (wmi|nowmi), then what boxdriver must report and what
# the stand-in must have recorded. A planted case (plant=yes) also puts a DLL
# that records its loading beside kestrel.exe and in the current folder under
# the names of system DLLs that programs load by bare name; its control runs
# a program that loads one of them as an unguarded program would. A manifest
# case (plant=manifest) puts beside the program a manifest that sends the
# management objects' COM class into a planted DLL (and, with local=yes, a
# kestrel.exe.local folder holding the planted DLLs). program=unmanifested
# runs a kestrel.exe built without the embedded manifest, as Windows XP
# reads it when a manifest lies beside it; program=seam one whose plain start
# answers "elevation required" once, so that the utility starts through the
# shell. station=unseen starts the program on a window station nobody sees:
# no box may wait there, the message goes to the console session instead.
# place=root puts the program and the utility at the root of drive X: (a
# folder of the case's, linked into its prefix's dosdevices) and starts it
# from X:\other, as from the root of a USB stick.
plant=no program=kestrel local=no station=seen place=folder
# What each case must end in. Wherever the program was started from, the
# utility starts in its own folder.
launches() { want_boxes="" want_exit=0 want_launch="started usestartup=1 show=1 args=[] cwd=$(winpath "$work/bin") errormode=0"
              [ $place = root ] && want_launch=${want_launch/cwd=* /cwd=X:\\ }; }
box() { want_boxes="box caption=$1 text=$2 icon=1 buttons=1" want_exit=$3 want_launch=""; }
nothing() { want_boxes="" want_exit=$1 want_launch=""; }
# On an unseen station: no box, the same title, text and style sent to the
# active console session without waiting, and the road's status.
sent() { want_boxes="" want_exit=$3 want_launch="" want_sent="$1|$2|48|nowait"; }
want_sent=""
# Each case names the prefixes it runs in (the fixtures of
# tests/windows/windows.cmake, which reads this table), or "signing" for a
# case that only the signing test runs.
on() { :; }
case $name in
  accepted)              on signing;               version=34B utility=beside wmi=wmi; launches ;;
  wrong_model)           on signing;               version=12B utility=beside wmi=wmi; box WinPhlash "$wrong" 2 ;;
  utility_absent)        on wine winevista;        version=34B utility=none wmi=wmi; nothing 3 ;;
  utility_in_cwd)        on wine winevista wine64; version=34B utility=cwd wmi=wmi; nothing 3 ;;
  planted_launch)        on wine winevista;        version=34B utility=beside wmi=wmi plant=yes; launches ;;
  planted_wrong_model)   on wine winevista;        version=12B utility=beside wmi=wmi plant=yes; box WinPhlash "$wrong" 2 ;;
  planted_control)       on wine winevista;        version=12B utility=none wmi=wmi plant=yes program=loadbare; nothing 0 ;;
  manifest_local_launch) on wine;                  version=34B utility=beside wmi=wmi plant=manifest local=yes; launches ;;
  # Where the planted manifest governs, the board is not read through it.
  manifest_refused)      on wine;                  version=34B utility=beside wmi=wmi plant=manifest program=unmanifested
                                                   box WinFlash "$privilege" 1 ;;
  unmanifested_launch)   on wine;                  version=34B utility=beside wmi=wmi program=unmanifested; launches ;;
  elevation_seam)        on winevista;             version=34B utility=beside wmi=wmi plant=yes program=seam; launches ;;
  unseen_launch)         on wine;                  version=34B utility=beside wmi=wmi station=unseen; launches ;;
  unseen_wrong_model)    on wine;                  version=12B utility=beside wmi=wmi station=unseen; sent WinPhlash "$wrong" 2 ;;
  unseen_no_wmi)         on wine;                  version=34B utility=beside wmi=nowmi station=unseen; sent WinFlash "$privilege" 1 ;;
  root_launch)           on wine winevista;        version=34B utility=beside wmi=wmi place=root; launches ;;
  root_elevation_seam)   on winevista;             version=34B utility=beside wmi=wmi place=root program=seam; launches ;;
  *) echo "no such case: $name"; exit 64 ;;
esac
if { [ $plant != no ] || [ $program != kestrel ]; } && [ -z "$seam" ]; then
  echo "usage: the planted cases need PLANTED_DLL, LOADBARE, UNMANIFESTED and SEAM"; exit 64
fi
# The prefix reports Vista: the System32-only search is not asked for there,
# and the system DLLs are loaded by full path instead.
vista=no
grep -qi '^"Version"="vista"' "$WINEPREFIX/user.reg" 2> /dev/null && vista=yes

mkdir -p "$work/bin" "$work/cwd"
case $program in
  unmanifested) cp "$unmanifested" "$work/bin/kestrel.exe" ;;
  seam) cp "$seam" "$work/bin/kestrel.exe" ;;
  *) cp "$kestrel" "$work/bin/kestrel.exe" ;;
esac
case $utility in
  beside) cp "$standin" "$work/bin/WinPhlash.exe" ;;
  cwd) cp "$standin" "$work/cwd/WinPhlash.exe" ;;
esac
[ $wmi = nowmi ] && export WINEDLLOVERRIDES="wbemprox=d"
lay_plants
run=$(winpath "$work/bin/kestrel.exe") cwd=$(winpath "$work/cwd")
drive_x=""
if [ $place = root ]; then
  [ -e "$WINEPREFIX/dosdevices/x:" ] && { echo "the prefix already has a drive X:"; exit 1; }
  drive_x=$work/bin  # linked in the case's own prefix
  mkdir "$work/bin/other"
  run='X:\kestrel.exe' cwd='X:\other'
fi
# The elevation road shows in the relay trace.
[ $program = seam ] && export WINEDEBUG=-all,+relay
# Wine's WTSSendMessageW reports its call on its own debug channel.
driver_flags=()
[ $station = unseen ] && driver_flags=(--unseen) && export WINEDEBUG=-all,+wtsapi
if [ $program = loadbare ]; then
  cp "$loadbare" "$work/bin/loadbare.exe"
  run=$(winpath "$work/bin/loadbare.exe")
fi

# A box road can be reached for the wrong reason (Wine reports an empty
# version as the table's next string): the version Wine reported is read too.
ASK_BOARD=""
[ $wmi = wmi ] && [ -n "$want_boxes$want_sent" ] && ASK_BOARD=yes
export ASK_BOARD DRIVE_X=$drive_x

in_room bash -c '
  set -e
  fake_board "$1"
  [ -z "$DRIVE_X" ] || ln -s "$DRIVE_X" "$WINEPREFIX/dosdevices/x:"
  cd "$2"
  with_x bash -c '"'"'
    if [ "$8" = loadbare ]; then
      if wine "$4" dwmapi.dll > /dev/null 2> "$6.err"; then echo exit=0; else echo "exit=$?"; fi > "$6"
    else
      wine "$3" "${@:9}" "$4" "$5" 60 > "$6" 2> "$6.err"
    fi
    # kestrel.exe does not wait for the utility: give it time to record its
    # start before the display and the wineserver go.
    for _ in $(seq "$7"); do [ -s "$2/bin/launched.txt" ] && break; sleep 0.1; done
    # On a box road, the board version as Wine reports it to any program.
    if [ -n "$ASK_BOARD" ]; then
      WINEDEBUG=-all wine wmic baseboard get version 2> /dev/null | iconv -f UTF-16 -t UTF-8 | tr -d "\r" |
        sed -n "2s/ *$//p" > "$2/board.txt"
    fi
  '"'"' _ "$@"
' _ "$version" "$work" "$boxdriver" "$run" "$cwd" "$work/report" \
  "$([ -n "$want_launch" ] && echo 100 || echo 10)" "$program" "${driver_flags[@]}"
room=$?

report=$(tr -d '\r' < "$work/report")
wow64=0
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && wow64=1
want_report=$([ -n "$want_boxes" ] && echo "$want_boxes"; [ $program != loadbare ] && echo "wow64=$wow64"; echo "exit=$want_exit")
launched=$(cat "$work/bin/launched.txt" "$work/cwd/launched.txt" 2> /dev/null | tr -d '\r')

status=0
[ $room = 0 ] || { echo "FAIL $name: the room did not end clean (status $room)"; status=1; }
if [ -n "$ASK_BOARD" ] && [ "$(cat "$work/board.txt" 2> /dev/null)" != "$version" ]; then
  echo "FAIL $name: Wine reported the board version [$(cat "$work/board.txt" 2> /dev/null)]," \
       "the case laid down [$version]"
  status=1
fi
if [ "$report" != "$want_report" ]; then
  echo "FAIL $name: boxdriver reported"; differ "$want_report" "$report"
  tr -d '\r' < "$work/report.err" | sed 's/^/stderr: /' | head -20
  status=1
fi
if [ "$launched" != "$want_launch" ]; then
  echo "FAIL $name: the utility's record"; differ "$want_launch" "$launched"; status=1
fi
if [ $station = unseen ]; then
  sent_messages=$(sent_messages < "$work/report.err")
  if [ "$sent_messages" != "$want_sent" ]; then
    echo "FAIL $name: sent to the console session"; differ "$want_sent" "$sent_messages"; status=1
  fi
fi
planted_verdict || status=1
# The elevation road ran: kestrel.exe loaded the shell from System32 only.
if [ $program = seam ] && ! tr -d '\r' < "$work/report.err" |
    grep -qE 'Call KERNEL32\.LoadLibraryExW\([0-9a-f]+ L"shell32\.dll",00000000,00000800\) ret=004'; then
  echo "FAIL $name: kestrel.exe did not load the shell from System32"; status=1
fi
[ $status = 0 ] && echo "ok   $name"
exit $status
