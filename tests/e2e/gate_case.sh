#!/usr/bin/env bash
# Runs the real kestrel.exe under Wine and Xvfb with a board version of the
# test's choosing: one case of the table below.
#   gate_case.sh PREFIX KESTREL BOXDRIVER STANDIN NAME [PLANTED_DLL LOADBARE UNMANIFESTED SEAM STANDIN_ENDS NEEDS_ABSENT]
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
seam=${9:+$(realpath "${9}")} standin_ends=${10:+$(realpath "${10}")} needs_absent=${11:+$(realpath "${11}")}
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
  echo "SKIP: needs root and mount namespaces"; exit 77
fi

privilege="You must be logged in with administrator privilege in order to update the system BIOS.  The system BIOS will not be updated."
wrong="This BIOS is not for your Notebook PC."

# Each case: board version, where WinPhlash.exe lies (beside|cwd|none; or
# beside, as a file no process starts from: empty, text, cut (the stand-in's
# first 4 KiB), dll (a DLL whole, the probe); or dllless, a program whose
# DLL is missing),
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
# A fleet case gives kestrel.exe a command line (fleet='...'); ends='PAUSE_MS
# STATUS' puts a stand-in there that ends so after its start, waited for;
# power=battery lays down a discharging battery and no mains, power=nobattery
# mains that read offline and no battery, power=charge:PERCENT a battery
# charged so far and the mains on (255: Wine reports the charge unknown);
# firmware=VERSION the BIOS's version; second=yes runs
# a second kestrel.exe while the first one's utility runs.
plant=no program=kestrel local=no station=seen place=folder fleet="" ends="" power=mains second=no logged="" firmware=""
# The log of the fleet cases, in a folder named outside ASCII.
log_file="$work/logs José/fleet.log" log="\"/log:$(winpath "$work/logs José/fleet.log")\""
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
# The utility's arguments as it was given them; the log's line, without the
# facts of the machine it ran on.
given() { want_launch=${want_launch/args=[]/args=[$1]}; }
logs() { logged=$1; }
usage="kestrel.exe [/check] [/quiet] [/wait [/timeout:MINUTES]] [/target:VERSION] [/from:V1,V2,...] [/mincharge:PERCENT] [/bitlocker] [/log:FILE] [-- UTILITY ARGUMENTS]"
# The line a run writes before it starts the utility.
starting='"board":"34B","decision":"starting"'
bios="Tarn bios_version"
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
  # Fleet runs: a command line, and every road without a box under /quiet.
  fleet_quiet_launch)    on wine;                  version=34B utility=beside wmi=wmi fleet="/quiet $log"; launches
                                                   logs "$starting"'
"board":"34B","decision":"launched","status":0' ;;
  fleet_quiet_wrong_model) on wine;                version=12B utility=beside wmi=wmi fleet="-QUIET $log"; nothing 2
                                                   logs '"board":"12B","decision":"wrong model","status":2' ;;
  fleet_quiet_no_wmi)    on wine;                  version=34B utility=beside wmi=nowmi fleet="/quiet $log"; nothing 1
                                                   logs '"boardNotRead":"bind","decision":"privilege","status":1' ;;
  fleet_quiet_unseen)    on wine;                  version=12B utility=beside wmi=wmi station=unseen fleet=/quiet; nothing 2 ;;
  # Wine reads the board's bytes in code page 1252: \xe9 is é, \x80 is €.
  fleet_log_escaped)     on wine;                  version=$'34"\\\t' utility=beside wmi=wmi fleet="/quiet $log"; launches
                                                   logs '"board":"34\"\\\t","decision":"starting"
"board":"34\"\\\t","decision":"launched","status":0' ;;
  fleet_log_latin)       on wine;                  version=$'B\xe9\x80' utility=beside wmi=wmi fleet="/quiet $log"; nothing 2
                                                   logs '"board":"Bé€","decision":"wrong model","status":2' ;;
  fleet_wait_ended)      on wine wine64;           version=34B utility=beside wmi=wmi fleet="/quiet /wait $log" ends="1500 0"
                                                   launches; logs "$starting"'
"board":"34B","decision":"launched","status":0,"utility":0' ;;
  fleet_wait_status)     on wine;                  version=34B utility=beside wmi=wmi fleet="/wait $log" ends="1500 7"
                                                   launches; want_exit=6
                                                   logs "$starting"'
"board":"34B","decision":"launched","status":6,"utility":7' ;;
  fleet_wait_passed)     on wine;                  version=34B utility=beside wmi=wmi fleet="/wait $log" ends="500 3010"
                                                   launches; want_exit=3010
                                                   logs "$starting"'
"board":"34B","decision":"launched","status":3010,"utility":3010' ;;
  fleet_arguments)       on wine;                  version=34B utility=beside wmi=wmi fleet='/quiet -- /s /f "x y.bin"'
                                                   launches; given '/s /f "x y.bin"' ;;
  fleet_one_flash)       on wine;                  version=34B utility=beside wmi=wmi fleet="/quiet /wait $log" ends="4000 0"
                                                   second=yes; launches; want_exit=1618
                                                   logs "$starting"'
"board":"34B","decision":"flash running","status":1618
"board":"34B","decision":"launched","status":0,"utility":0' ;;
  fleet_on_battery)      on wine;                  version=34B utility=beside wmi=wmi power=battery fleet="/quiet $log"
                                                   nothing 4; logs '"board":"34B","decision":"on battery","status":4' ;;
  # A log's name with a quote in it swallowed the rest of the line.
  fleet_log_quoted)      on wine;                  version=34B utility=beside wmi=wmi fleet='/quiet "/log:C:\Logs\" -- /s /f'
                                                   nothing 7 ;;
  fleet_quiet_help)      on wine;                  version=34B utility=beside wmi=wmi fleet="/quiet /? $log"; nothing 7
                                                   logs '"argument":"/?","decision":"usage","status":7' ;;
  # 259 is STILL_ACTIVE, which a caller polling for kestrel's end would read
  # as no end.
  fleet_wait_still_active) on wine;                version=34B utility=beside wmi=wmi fleet="/quiet /wait $log" ends="500 259"
                                                   launches; want_exit=6
                                                   logs "$starting"'
"board":"34B","decision":"launched","status":6,"utility":259' ;;
  # Mains off on a machine without a battery: a desktop, not on battery.
  fleet_no_battery)      on wine;                  version=34B utility=beside wmi=wmi power=nobattery fleet="/quiet $log"
                                                   launches; logs "$starting"'
"board":"34B","decision":"launched","status":0' ;;
  # A utility that needs elevation: under /quiet nobody is asked.
  fleet_quiet_elevation) on wine;                  version=34B utility=beside wmi=wmi program=seam fleet="/quiet $log"
                                                   nothing 1
                                                   logs "$starting"'
"board":"34B","decision":"needs administrator","status":1' ;;
  # Nor without /quiet: the consent road's elevated utility would run
  # outside the lock; the privilege box instead.
  fleet_elevation)       on wine;                  version=34B utility=beside wmi=wmi program=seam fleet="$log"
                                                   box WinFlash "$privilege" 1
                                                   logs "$starting"'
"board":"34B","decision":"needs administrator","status":1' ;;
  # Deciding only: nothing started, no box, the status the run would have had.
  fleet_check_launch)    on wine;                  version=34B utility=beside wmi=wmi fleet="/check $log"; nothing 10
                                                   logs '"board":"34B","decision":"would start","status":10' ;;
  fleet_check_wrong_model) on wine;                version=12B utility=beside wmi=wmi fleet="/check $log"; nothing 2
                                                   logs '"board":"12B","decision":"wrong model","status":2' ;;
  fleet_check_no_utility) on wine;                 version=34B utility=none wmi=wmi fleet="/check $log"; nothing 3
                                                   logs '"board":"34B","decision":"launch failed","status":3' ;;
  # A file that no process starts from is 3 whether the run decides only or
  # starts; a utility that its loader ends was never started, waited for or not.
  fleet_check_empty)     on wine;                  version=34B utility=empty wmi=wmi fleet="/check $log"; nothing 3
                                                   logs '"board":"34B","decision":"launch failed","status":3' ;;
  fleet_check_text)      on wine;                  version=34B utility=text wmi=wmi fleet="/check $log"; nothing 3
                                                   logs '"board":"34B","decision":"launch failed","status":3' ;;
  fleet_check_cut)       on wine;                  version=34B utility=cut wmi=wmi fleet="/check $log"; nothing 3
                                                   logs '"board":"34B","decision":"launch failed","status":3' ;;
  fleet_run_cut)         on wine;                  version=34B utility=cut wmi=wmi fleet="/quiet $log"; nothing 3
                                                   logs "$starting"'
"board":"34B","decision":"launch failed","status":3' ;;
  fleet_check_dll)       on wine;                  version=34B utility=dll wmi=wmi fleet="/check $log"; nothing 3
                                                   logs '"board":"34B","decision":"launch failed","status":3' ;;
  fleet_run_dll)         on wine;                  version=34B utility=dll wmi=wmi fleet="/quiet $log"; nothing 3
                                                   logs "$starting"'
"board":"34B","decision":"launch failed","status":3' ;;
  fleet_dll_missing)     on wine;                  version=34B utility=dllless wmi=wmi fleet="/quiet $log"; nothing 3
                                                   logs "$starting"'
"board":"34B","decision":"launch failed","status":3' ;;
  fleet_wait_dll_missing) on wine;                 version=34B utility=dllless wmi=wmi fleet="/quiet /wait $log"; nothing 3
                                                   logs "$starting"'
"board":"34B","decision":"launch failed","status":3' ;;
  fleet_bad_switch)      on wine;                  version=34B utility=beside wmi=wmi fleet="/wait /bogus $log"
                                                   box kestrel "Unknown: /bogus
$usage" 7; logs '"argument":"/bogus","decision":"usage","status":7' ;;
  # A rollout's switches: the firmware already at the target starts nothing;
  # another version flashes; no BitLocker (Wine has none) changes nothing.
  fleet_target_reached)  on wine;                  version=34B utility=beside wmi=wmi fleet="/quiet \"/target:$bios\" $log"
                                                   nothing 11
                                                   logs '"board":"34B","target":"'"$bios"'","decision":"at target","status":11' ;;
  fleet_target_other)    on wine;                  version=34B utility=beside wmi=wmi fleet="/quiet /target:R0XET60W $log"
                                                   launches; logs '"board":"34B","target":"R0XET60W","decision":"starting"
"board":"34B","target":"R0XET60W","decision":"launched","status":0' ;;
  fleet_bitlocker_absent) on wine;                 version=34B utility=beside wmi=wmi fleet="/quiet /bitlocker $log"
                                                   launches; logs '"board":"34B","bitlocker":"absent","decision":"starting"
"board":"34B","bitlocker":"absent","decision":"launched","status":0' ;;
  # Only from a version listed: one listed flashes; one not listed, or a
  # later one than the target, starts nothing (15), also when only deciding.
  fleet_from_listed)     on wine;                  version=34B firmware=1.05 utility=beside wmi=wmi
                                                   fleet="/quiet /target:1.07 /from:1.05,1.06 $log"; launches
                                                   logs '"board":"34B","target":"1.07","decision":"starting","from":["1.05","1.06"]
"board":"34B","target":"1.07","decision":"launched","status":0,"from":["1.05","1.06"]' ;;
  fleet_from_not_listed) on wine;                  version=34B firmware=1.04 utility=beside wmi=wmi
                                                   fleet="/quiet /target:1.07 /from:1.05,1.06 $log"; nothing 15
                                                   logs '"board":"34B","target":"1.07","decision":"not listed","status":15,"from":["1.05","1.06"]' ;;
  fleet_from_newer)      on wine;                  version=34B firmware=1.08 utility=beside wmi=wmi
                                                   fleet="/target:1.07 /from:1.05,1.06 $log"; nothing 15
                                                   logs '"board":"34B","target":"1.07","decision":"not listed","status":15,"from":["1.05","1.06"]' ;;
  fleet_check_from_listed) on wine;                version=34B firmware=1.06 utility=beside wmi=wmi
                                                   fleet="/check /target:1.07 /from:1.05,1.06"; nothing 10 ;;
  fleet_check_from_not_listed) on wine;            version=34B firmware=1.04 utility=beside wmi=wmi
                                                   fleet="/check /target:1.07 /from:1.05,1.06"; nothing 15 ;;
  fleet_check_from_newer) on wine;                 version=34B firmware=1.08 utility=beside wmi=wmi
                                                   fleet="/check /target:1.07 /from:1.05,1.06"; nothing 15 ;;
  # A least charge: a battery below it on the mains, or of a charge unknown,
  # starts nothing (4); one above it, or none, flashes.
  fleet_charge_low)      on wine;                  version=34B utility=beside wmi=wmi power=charge:5
                                                   fleet="/quiet /mincharge:10 $log"; nothing 4
                                                   logs '"board":"34B","decision":"low charge","status":4,"charge":5' ;;
  fleet_charge_enough)   on wine;                  version=34B utility=beside wmi=wmi power=charge:50
                                                   fleet="/quiet /mincharge:10 $log"; launches
                                                   logs "$starting"',"charge":50
"board":"34B","decision":"launched","status":0,"charge":50' ;;
  fleet_charge_no_battery) on wine;                version=34B utility=beside wmi=wmi power=nobattery
                                                   fleet="/quiet /mincharge:10 $log"; launches
                                                   logs "$starting"'
"board":"34B","decision":"launched","status":0' ;;
  fleet_charge_unknown)  on wine;                  version=34B utility=beside wmi=wmi power=charge:255
                                                   fleet="/quiet /mincharge:10 $log"; nothing 4
                                                   logs '"board":"34B","decision":"low charge","status":4' ;;
  fleet_check_charge_low) on wine;                 version=34B utility=beside wmi=wmi power=charge:5
                                                   fleet="/check /mincharge:10"; nothing 4 ;;
  # A quote left open takes the rest of the line into the list: the least
  # charge after it is not understood, and nothing starts at 5%.
  fleet_from_quote_open) on wine;                  version=34B firmware=1.05 utility=beside wmi=wmi power=charge:5
                                                   fleet="/quiet $log /from:1.05,1.06\" /mincharge:10"; nothing 7
                                                   logs '"argument":"/from:1.05,1.06 /mincharge:10","decision":"usage","status":7' ;;
  *) echo "no such case: $name"; exit 64 ;;
esac
if { [ $plant != no ] || [ $program != kestrel ]; } && [ -z "$seam" ]; then
  echo "usage: the planted cases need PLANTED_DLL, LOADBARE, UNMANIFESTED and SEAM"; exit 64
fi
source "$(dirname "$0")/case_run.sh"
