#!/usr/bin/env bash
# Runs the real kestrel in fleet mode (its command line) against crafted
# SMBIOS tables: the cases of linux_run.sh, with arguments.
#   linux_fleet.sh KESTREL MKDMI CHROOTEXEC
source "$(dirname "$0")/linux_run.sh" "$@"

# Fleet runs: the same words after --. Quiet: no message; the log gets the
# line, the folder is not made.
args=(--quiet "--log=$work/fleet.log")
run_case fleet_quiet_wrong_model beside 2 "" 12B
args=(--quiet "--log=$work/no/such/folder/fleet.log")
run_case fleet_log_unwritable beside 2 "" 12B
args=(--wait -- --quiet "x y.bin" "")
ends="1 5" launch="started 3 in HOME [--quiet] [x y.bin] []
ended"
run_case fleet_wait_passes_the_status beside 5 "" 34B
args=(--wait) ends="1 3" launch="started 0 in HOME
ended"
run_case fleet_wait_hides_our_status beside 6 "" 34B
# A utility that hands the flash to a child and ends at once: --wait ends
# only after the child has.
args=(--wait) ends="0 0" child=1 launch="started 0 in HOME
ended
child ended
kestrel returned"
run_case fleet_wait_outlasts_the_child beside 0 "" 34B
# Deciding only: the status the run would have had, nothing started.
args=(--check --quiet)
run_case fleet_check_launch beside 10 "" 34B
args=(--check)
run_case fleet_check_no_utility none 3 "" 34B
# A file the kernel cannot start is 3 whether the run decides only or
# starts: empty, text without "#!", a program cut short (which the kernel
# would start, to die at once), a program for another processor.
for kind in empty text cut foreign; do
  args=(--check --quiet)
  run_case fleet_check_$kind $kind 3 "" 34B
  args=(--quiet)
  run_case fleet_run_$kind $kind 3 "" 34B
done
# The flash is the utility's processes, not a child that kestrel was given
# by the shell that started it through exec: a wait of a 1 s utility ends
# with it, before the 4 s child.
args=(--wait) ends="1 0" inherit=4
after='echo "kestrel returned" >> "$dir/bin/launched"; until grep -q "inherited ended" "$dir/bin/launched"; do sleep 0.1; done'
launch="started 0 in HOME
ended
kestrel returned
inherited ended"
run_case fleet_wait_not_for_inherited beside 0 "" 34B
# A terminal's hang-up and Ctrl+C end kestrel, never the flash: the utility
# runs in a session of its own (waited for, and not).
# Waited for, kestrel ends by the hang-up (129); not waited for, kestrel
# has ended with 0 when the signals come.
for road in "--wait started 129" "--quiet ended 0"; do
  read -r switch signal status <<< "$road"
  args=("$switch") ends="1 0"
  after='for _ in $(seq 50); do grep -q ended "$dir/bin/launched" && break; sleep 0.1; done'
  launch="started 0 in HOME
ended"
  run_case "fleet_signals_spare_the_flash_${switch#--}" beside "$status" "" 34B
done
# A flash of 70 s and a wait of a minute at most: kestrel returns with 9
# before the flash ends (the case waits for that end before it closes).
args=(--wait --timeout=1) ends="70 0" seconds=100
after='echo "kestrel returned" >> "$dir/bin/launched"; until grep -q ended "$dir/bin/launched"; do sleep 1; done'
launch="started 0 in HOME
kestrel returned
ended"
run_case fleet_wait_time_limit beside 9 "" 34B

# The firmware's version from the table's BIOS structure: a machine already
# at the target starts nothing, also when only deciding; another flashes.
mkdmi_args=(--bios R0XET57W) args=(--quiet --target=R0XET57W "--log=$work/target.log")
run_case fleet_target_reached beside 11 "" 34B
mkdmi_args=(--bios R0XET57W) args=(--check --target=R0XET57W)
run_case fleet_check_target_reached beside 11 "" 34B
mkdmi_args=(--bios R0XET57W) args=(--quiet --target=R0XET60W "--log=$work/target.log")
run_case fleet_target_other beside 0 "" 34B
check "the target's lines" "$(log_lines "$work/target.log")" \
  '{"board":"34B","target":"R0XET57W","decision":"at target","status":11}
{"board":"34B","target":"R0XET60W","decision":"starting"}
{"board":"34B","target":"R0XET60W","decision":"launched","status":0}'
check "the firmware's version as read" "$(jq -r .bios "$work/target.log" | sort -u)" R0XET57W

# Only from a version listed: one listed flashes; one not listed, or a later
# one than the target, starts nothing (15), also when only deciding.
from=(--target=1.07 --from=1.05,1.06)
mkdmi_args=(--bios 1.05) args=(--quiet "${from[@]}" "--log=$work/from.log")
run_case fleet_from_listed beside 0 "" 34B
mkdmi_args=(--bios 1.04) args=(--quiet "${from[@]}" "--log=$work/from.log")
run_case fleet_from_not_listed beside 15 "" 34B
mkdmi_args=(--bios 1.08) args=("${from[@]}" "--log=$work/from.log")
run_case fleet_from_newer beside 15 "" 34B
mkdmi_args=(--bios 1.06) args=(--check "${from[@]}")
run_case fleet_check_from_listed beside 10 "" 34B
mkdmi_args=(--bios 1.04) args=(--check "${from[@]}")
run_case fleet_check_from_not_listed beside 15 "" 34B
mkdmi_args=(--bios 1.08) args=(--check "${from[@]}")
run_case fleet_check_from_newer beside 15 "" 34B
check "the list's lines" "$(log_lines "$work/from.log")" \
  '{"board":"34B","target":"1.07","decision":"starting","from":["1.05","1.06"]}
{"board":"34B","target":"1.07","decision":"launched","status":0,"from":["1.05","1.06"]}
{"board":"34B","target":"1.07","decision":"not listed","status":15,"from":["1.05","1.06"]}
{"board":"34B","target":"1.07","decision":"not listed","status":15,"from":["1.05","1.06"]}'
check "the firmware's versions as read" "$(jq -r .bios "$work/from.log" | tr '\n' ' ')" "1.05 1.05 1.04 1.08 "

# A least charge, from the power supply class laid down in the namespace: a
# battery below it on the mains, or of a charge that cannot be read, starts
# nothing (4); one above it, or none at all, flashes.
supplies() {
  local ps=/sys/class/power_supply
  prepare="mount -t tmpfs none /sys/class && mkdir -p $ps/AC && echo Mains > $ps/AC/type && echo 1 > $ps/AC/online"
  [ $# = 0 ] || prepare+=" && mkdir $ps/BAT0 && echo Battery > $ps/BAT0/type && echo Charging > $ps/BAT0/status"
  [ $# = 0 ] || prepare+=" && echo '$1' > $ps/BAT0/capacity"
}
supplies 5; args=(--quiet --mincharge=10 "--log=$work/charge.log")
run_case fleet_charge_low beside 4 "" 34B
supplies 50; args=(--quiet --mincharge=10 "--log=$work/charge.log")
run_case fleet_charge_enough beside 0 "" 34B
supplies; args=(--quiet --mincharge=10 "--log=$work/charge.log")
run_case fleet_charge_no_battery beside 0 "" 34B
supplies unknown; args=(--quiet --mincharge=10 "--log=$work/charge.log")
run_case fleet_charge_unknown beside 4 "" 34B
supplies 5; args=(--check --mincharge=10)
run_case fleet_check_charge_low beside 4 "" 34B
check "the charge's lines" "$(log_lines "$work/charge.log")" \
  '{"board":"34B","decision":"low charge","status":4,"charge":5}
{"board":"34B","decision":"starting","charge":50}
{"board":"34B","decision":"launched","status":0,"charge":50}
{"board":"34B","decision":"starting"}
{"board":"34B","decision":"launched","status":0}
{"board":"34B","decision":"low charge","status":4}'

usage="kestrel [--check] [--quiet] [--wait [--timeout=MINUTES]] [--target=VERSION] [--from=V1,V2,...] [--mincharge=PERCENT] [--log=FILE] [-- ARGUMENTS FOR WinPhlash.exe]
--check: decide only, start nothing (10: it would start).
--target: start nothing where the firmware's version is VERSION (11).
--from: start nothing where the firmware's version is none of those listed (15).
--mincharge: start nothing where a battery's charge is below PERCENT or unknown (4).
--quiet: no message. --wait: end with WinPhlash.exe's status. --timeout: stop waiting after MINUTES (9).
--log: add a line on the run to FILE."
args=(--bogus --wait)
run_case fleet_usage_error beside 7 "Unknown: --bogus
$usage" 34B
# More arguments than the utility can be given start nothing.
args=(-- $(seq 65))
run_case fleet_too_many_arguments beside 7 "Too many arguments for WinPhlash.exe after: --
$usage" 34B
# The usage asked for is no success either: it starts nothing.
args=(--help "--log=$work/help.log") want_out=$usage
run_case fleet_help beside 7 "" 34B
args=(--quiet --help)
run_case fleet_quiet_help beside 7 "" 34B

check "the log's lines" "$(log_lines "$work/fleet.log")" '{"board":"12B","decision":"wrong model","status":2}'
check "the help's log line" "$(log_lines "$work/help.log")" '{"argument":"--help","decision":"usage","status":7}'

# Only a regular file of one name is a log: whatever else stands there is
# left as it is, and the run ends as its road says. A FIFO nobody reads
# would block an open for writing.
mkfifo "$work/fifo.log"
args=("--log=$work/fifo.log") seconds=10
run_case log_is_fifo beside 0 "" 34B
echo before > "$work/target.log" && ln -s target.log "$work/symlink.log"
args=(--quiet "--log=$work/symlink.log")
run_case log_is_symlink beside 2 "" 12B
check "the symbolic link's target" "$(cat "$work/target.log")" before
# Nor a log reached through a linked folder: the link goes elsewhere.
mkdir "$work/elsewhere" && ln -s elsewhere "$work/linked"
args=(--quiet "--log=$work/linked/fleet.log")
run_case log_through_linked_folder beside 2 "" 12B
check "nothing written through the linked folder" "$(ls "$work/elsewhere")" ""
echo before > "$work/other.log" && ln "$work/other.log" "$work/hard.log"
args=(--quiet "--log=$work/hard.log")
run_case log_is_hard_link beside 2 "" 12B
check "the hard link's other name" "$(cat "$work/other.log")" before
# Nor, for a run as root, a log that another account made first, where it
# may make files: its lines would be that account's to fake.
echo "a user's line" > "$work/user.log" && chown nobody "$work/user.log" && chmod 666 "$work/user.log"
args=(--quiet "--log=$work/user.log")
run_case log_user_owned beside 2 "" 12B
check "nothing written to a user's log" "$(cat "$work/user.log")" "a user's line"

# kestrel's line whole, and nothing another writer left taken away: a line
# not ended stays, and kestrel's starts on a line of its own.
printf '{"time":"x","board":"12B"}\n{"time":"x","board":"1' > "$work/fragment.log"
args=(--quiet "--log=$work/fragment.log")
run_case log_ends_in_fragment beside 2 "" 12C
check "the mended log's lines" "$(log_lines "$work/fragment.log")" '{"time":"x","board":"12B"}
{"time":"x","board":"1
{"board":"12C","decision":"wrong model","status":2}'
# Text of a few bytes with no line feed (a note someone left): all of it stays.
printf 'notes' > "$work/notes.log"
args=(--quiet "--log=$work/notes.log")
run_case log_short_text_kept beside 2 "" 12C
check "the short text's lines" "$(log_lines "$work/notes.log")" 'notes
{"board":"12C","decision":"wrong model","status":2}'
# A fragment longer than a writer once read stands on a line of its own too.
long_fragment=$(head -c 5000 /dev/zero | tr '\0' x)
printf '%s' "$long_fragment" > "$work/long_fragment.log"
args=(--quiet "--log=$work/long_fragment.log")
run_case log_ends_in_long_fragment beside 2 "" 12C
check "the long fragment's line" "$(log_lines "$work/long_fragment.log")" "$long_fragment
{\"board\":\"12C\",\"decision\":\"wrong model\",\"status\":2}"
# A disk that fills during the write: the line is taken back whole. The
# disk holds one page, which lines of 100 bytes fill but for less than a line.
page=$(getconf PAGESIZE)
mkdir "$work/full" && for i in $(seq $((page / 100))); do printf '%099d\n' "$i"; done > "$work/before_full.log"
prepare="mount -t tmpfs -o size=$page none '$work/full' && cp '$work/before_full.log' '$work/full/kestrel.log'"
after="cp '$work/full/kestrel.log' '$work/after_full.log'"
args=(--quiet "--log=$work/full/kestrel.log")
run_case log_disk_fills beside 2 "" 12B
step "the full disk's log as it was" cmp "$work/before_full.log" "$work/after_full.log"
# One writer at a time: a log another holds for longer than a writer waits
# gets no line, and the run still ends with its road's status.
: > "$work/held.log"
exec {held}>> "$work/held.log" && flock -x "$held"
args=(--quiet "--log=$work/held.log")
run_case log_held_by_another beside 2 "" 12B
exec {held}>&-
check "the held log" "$(cat "$work/held.log")" ""

summary
