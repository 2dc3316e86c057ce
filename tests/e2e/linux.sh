#!/usr/bin/env bash
# Runs the real kestrel against crafted SMBIOS tables. Each case runs in a
# private mount namespace whose /sys/firmware/dmi/tables holds the table, with
# kestrel copied to a folder of its own and, where the case says, a stand-in
# WinPhlash.exe beside it (or only in the current folder).
#   linux.sh KESTREL MKDMI CHROOTEXEC
set -u
kestrel=$1 mkdmi=$2 chrootexec=$3
for tool in "$kestrel" "$mkdmi" "$chrootexec"; do
  [ -x "$tool" ] || { echo "FAIL: $tool is not built"; exit 1; }
done
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
  echo "SKIP: needs root and mount namespaces"; exit 77
fi
source "$(dirname "$0")/common.sh"

privilege="WinFlash: You must be logged in with administrator privilege in order to update the system BIOS.  The system BIOS will not be updated."
wrong="WinPhlash: This BIOS is not for your Notebook PC."
# The stand-in records its start, its arguments each in brackets, and, when
# the case leaves "PAUSE STATUS" in "ends" beside it, its end after the pause.
# When the case leaves a PAUSE in "child", it first starts a child that
# outlives it, ends after that pause and records its end.
standin='#!/bin/sh
here=$(dirname "$0")
echo "started $# in $(pwd -P)$(for a; do printf " [%s]" "$a"; done)" >> "$here/launched"
if [ -f "$here/child" ]; then
  read -r child < "$here/child"; (sleep "$child"; echo "child ended" >> "$here/launched") &
fi
[ -f "$here/ends" ] || exit 0
read -r pause status < "$here/ends"; sleep "$pause"; echo ended >> "$here/launched"; exit "$status"'

# Set for one case, then cleared:
#   mkdmi_args  options for mkdmi (before the versions)
#   prepare     commands run in the table folder, inside the namespace
#   limit       ulimit -v for kestrel, in KiB
#   after       commands run inside the namespace once kestrel has ended
#   seconds     how long kestrel may take before the case fails
#   stderr_to   "file", or "gone": a pipe whose reader has already gone
#   run_as      "file" (kestrel's own copy), or, in a root folder of the case's
#               own with WinPhlash.exe at its top: "root" (kestrel at /kestrel),
#               "memfd" (an in-memory copy with no folder)
#   args        kestrel's arguments (a fleet run); ends: the stand-in's
#               "PAUSE STATUS"; child: the PAUSE of the stand-in's child,
#               and then "kestrel returned" goes into the record once kestrel
#               has ended; launch: the stand-in's record wanted, when not the
#               plain one
#   want_out    what kestrel writes on standard output
reset() {
  mkdmi_args=() prepare=":" after=":" seconds=20 limit=unlimited stderr_to=file run_as=file args=() ends="" child=""
  launch="" want_out=""
}
reset

# run_case NAME UTILITY(beside|cwd|none) EXIT STDERR VERSION...
# VERSION "-" is a board with no Version string; no VERSION at all: no table.
run_case() {
  local name=$1 utility=$2 want_exit=$3 want_err=$4; shift 4
  local dir=$work/$name
  mkdir -p "$dir/bin" "$dir/cwd" "$dir/dmi" "$dir/root/sys/firmware/dmi/tables" "$dir/root/usr" "$dir/root/proc"
  cp "$kestrel" "$dir/bin/kestrel"
  case $utility in
    beside) printf '%s\n' "$standin" > "$dir/bin/WinPhlash.exe"; chmod +x "$dir/bin/WinPhlash.exe"
            [ -z "$ends" ] || echo "$ends" > "$dir/bin/ends"
            [ -z "$child" ] || echo "$child" > "$dir/bin/child" ;;
    cwd) printf '%s\n' "$standin" > "$dir/cwd/WinPhlash.exe"; chmod +x "$dir/cwd/WinPhlash.exe" ;;
  esac
  [ $# -gt 0 ] && "$mkdmi" "$dir/dmi" "${mkdmi_args[@]}" "$@"
  if [ "$run_as" != file ]; then
    printf '%s\n' "$standin" > "$dir/root/WinPhlash.exe"; chmod +x "$dir/root/WinPhlash.exe"
    cp "$kestrel" "$dir/root/kestrel"
    for link in bin lib lib64; do ln -s "usr/$link" "$dir/root/$link"; done
  fi
  timeout "$seconds" unshare -m bash -c '
    dir=$1 prepare=$2 after=$3 limit=$4 stderr_to=$5 run_as=$6 chrootexec=$7; shift 7
    tables=/sys/firmware/dmi/tables
    if [ "$run_as" = file ]; then
      mount -t tmpfs none /sys/firmware && mkdir -p $tables || exit 90
    else
      tables=$dir/root$tables
      mount --bind /usr "$dir/root/usr" && mount -t proc proc "$dir/root/proc" || exit 90
    fi
    cp -r "$dir/dmi"/. $tables/ && (cd $tables && eval "$prepare") || exit 90
    cd "$dir/cwd" && export PATH="$dir/cwd:$PATH"
    run() {
      ulimit -v "$limit"
      case $run_as in
        file) exec "$dir/bin/kestrel" "$@" ;;
        root) exec "$chrootexec" "$dir/root" --file /kestrel ;;
        memfd) exec "$chrootexec" "$dir/root" --memfd "$dir/bin/kestrel" ;;
      esac
    }
    if [ "$stderr_to" = gone ]; then
      (sleep 0.3; run) 2>&1 > /dev/null | true
      exit "${PIPESTATUS[0]}"
    fi
    (run "$@") 2> "$dir/stderr" > "$dir/stdout"
    status=$?; eval "$after"; exit $status' _ "$dir" "$prepare" "$after" "$limit" "$stderr_to" "$run_as" "$chrootexec" \
    "${args[@]}"
  local got_exit=$? got_err got_out
  [ -z "$child" ] || echo "kestrel returned" >> "$dir/bin/launched"
  got_err=$(cat "$dir/stderr" 2>/dev/null)
  got_out=$(cat "$dir/stdout" 2>/dev/null)
  local launched=""
  if [ "$want_exit" = 0 ]; then
    for _ in $(seq 50); do [ -s "$dir/bin/launched" ] || [ -s "$dir/root/launched" ] && break; sleep 0.1; done
  else
    sleep 0.2
  fi
  launched=$(cat "$dir/bin/launched" "$dir/cwd/launched" "$dir/root/launched" 2>/dev/null)
  # Started from another folder, the utility runs in its own.
  local want_launch="" home=$dir/bin; [ "$run_as" = root ] && home=/
  [ "$want_exit" = 0 ] && want_launch="started 0 in $home"
  [ -n "$launch" ] && want_launch=${launch//HOME/$home}
  check "$name" "exit $got_exit, stdout [$got_out], stderr [$got_err], launched [$launched]" \
    "exit $want_exit, stdout [$want_out], stderr [$want_err], launched [$want_launch]"
  reset
}

run_case accepted           beside 0 ""          34B
run_case accepted_exact     beside 0 ""          34
run_case last_board_accepts beside 0 ""          12B 34A
run_case other_model        beside 2 "$wrong"    12B
run_case last_board_rejects beside 2 "$wrong"    34A 12B
run_case leading_blank      beside 2 "$wrong"    " 34"
run_case empty_version      beside 1 "$privilege" ""
run_case null_version       beside 1 "$privilege" -
run_case no_table           beside 1 "$privilege"
run_case utility_absent     none   3 ""          34B
run_case utility_only_in_cwd cwd   3 ""          34B

# The table as the kernel and dmidecode read it.
run_case version_past_empty_string beside 1 "$privilege" ^34B
mkdmi_args=(--entry smbios2 --count 2)   # the BIOS and the first board
run_case smbios2_count_bounds beside 2 "$wrong" 12B 34B
mkdmi_args=(--entry smbios2)
run_case smbios2_table      beside 0 ""          12B 34B
mkdmi_args=(--entry smbios2 --count 0)   # no count: the length bounds the walk
run_case smbios2_count_zero beside 0 ""          34B
mkdmi_args=(--entry none)
run_case no_entry_point     beside 0 ""          34B
mkdmi_args=(--entry bad)
run_case bad_entry_point    beside 1 "$privilege" 34B

# Whatever stands at the table's path, only a regular file is read.
prepare="mv DMI table && ln -s table DMI"
run_case table_symlink      beside 0 ""          34B
prepare="rm DMI && mkdir DMI"
run_case table_is_directory beside 1 "$privilege" 34B
prepare="rm DMI && mkfifo DMI"
run_case table_is_fifo      beside 1 "$privilege" 34B
prepare="rm DMI && ln -s /proc/self/mem DMI"
run_case table_read_fails   beside 1 "$privilege" 34B
mkdmi_args=(--repeat 400000)             # about 17 MB
run_case table_too_large    beside 1 "$privilege" 34B

# Memory: a table that does not fit is a failed bind; millions of strings
# cost no more than the table itself.
mkdmi_args=(--repeat 300000) limit=10000 # about 12.6 MB in 10 MB
run_case out_of_memory      beside 1 "$privilege" 34B
mkdmi_args=(--padding 6000000) limit=40000 # 12 MB of one-byte strings in 40 MB
run_case many_tiny_strings  beside 0 ""          34B

# Standard error a pipe nobody reads: the message is lost, the status is not.
stderr_to=gone
run_case stderr_pipe_gone_wrong_model beside 2 "" 12B
stderr_to=gone
run_case stderr_pipe_gone_privilege   beside 1 "" -

# The program's folder: the root folder is a folder like any other; an
# in-memory copy has none, so nothing is launched.
run_as=root
run_case program_in_root_folder none 0 "" 34B
run_as=memfd
run_case program_in_memory      none 3 "" 34B

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
# A flash of 70 s and a wait of a minute at most: kestrel returns with 9
# before the flash ends (the case waits for that end before it closes).
args=(--wait --timeout=1) ends="70 0" seconds=100
after='echo "kestrel returned" >> "$dir/bin/launched"; until grep -q ended "$dir/bin/launched"; do sleep 1; done'
launch="started 0 in HOME
kestrel returned
ended"
run_case fleet_wait_time_limit beside 9 "" 34B

usage="kestrel [--check] [--quiet] [--wait [--timeout=MINUTES]] [--log=FILE] [-- ARGUMENTS FOR WinPhlash.exe]
--check: decide only, start nothing (10: it would start).
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

# The log's lines without the facts that differ from run to run.
log_lines() {
  sed -E 's/"time":"[0-9T:+-]{25}","computer":"[^"]*","account":"uid [0-9]+","session":[0-9]+,//' "$1" 2> /dev/null
}
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
echo before > "$work/other.log" && ln "$work/other.log" "$work/hard.log"
args=(--quiet "--log=$work/hard.log")
run_case log_is_hard_link beside 2 "" 12B
check "the hard link's other name" "$(cat "$work/other.log")" before

# Each line whole or absent: a fragment that an earlier write left at the
# end is cut off.
printf '{"time":"x","board":"12B"}\n{"time":"x","board":"1' > "$work/fragment.log"
args=(--quiet "--log=$work/fragment.log")
run_case log_ends_in_fragment beside 2 "" 12C
check "the mended log's lines" "$(log_lines "$work/fragment.log")" '{"time":"x","board":"12B"}
{"board":"12C","decision":"wrong model","status":2}'
# A fragment longer than a writer reads stands on a line of its own.
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
