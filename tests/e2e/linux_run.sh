#!/usr/bin/env bash
# Sourced by linux.sh and linux_fleet.sh: what their cases share. Each case
# runs in a private mount namespace whose /sys/firmware/dmi/tables holds the
# table, with kestrel copied to a folder of its own and, where the case says,
# a stand-in WinPhlash.exe beside it (or only in the current folder).
#   source linux_run.sh KESTREL MKDMI CHROOTEXEC
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
#   inherit     kestrel is started through exec by a shell with a child that
#               lives that many seconds and then records "inherited ended"
#   signal      kestrel runs in a session and process group of its own, and
#               once the utility has recorded its start ("started"), or once
#               kestrel has ended too ("ended"), SIGHUP and SIGINT go to that
#               group, as a terminal sends them
reset() {
  mkdmi_args=() prepare=":" after=":" seconds=20 limit=unlimited stderr_to=file run_as=file args=() ends="" child=""
  launch="" want_out="" inherit="" signal=""
}
reset

# run_case NAME UTILITY(beside|cwd|none|empty|text|cut|foreign) EXIT STDERR VERSION...
# VERSION "-" is a board with no Version string; no VERSION at all: no table.
run_case() {
  local name=$1 utility=$2 want_exit=$3 want_err=$4; shift 4
  local dir=$work/$name
  mkdir -p "$dir/bin" "$dir/cwd" "$dir/dmi" "$dir/root/sys/firmware/dmi/tables" "$dir/root/usr" "$dir/root/proc"
  cp "$kestrel" "$dir/bin/kestrel"
  case $utility in
    # Files the kernel cannot start: empty, text without "#!", a program
    # cut short (kestrel itself, its first 8 KiB), and one for another
    # processor.
    empty) : > "$dir/bin/WinPhlash.exe"; chmod +x "$dir/bin/WinPhlash.exe" ;;
    text) echo 'echo started >> launched' > "$dir/bin/WinPhlash.exe"; chmod +x "$dir/bin/WinPhlash.exe" ;;
    cut) head -c 8192 "$kestrel" > "$dir/bin/WinPhlash.exe"; chmod +x "$dir/bin/WinPhlash.exe" ;;
    # kestrel whole, marked as a program for IBM's S/390 (e_machine 22).
    foreign) cp "$kestrel" "$dir/bin/WinPhlash.exe"
             printf '\x16\x00' | dd of="$dir/bin/WinPhlash.exe" bs=1 seek=18 conv=notrunc status=none ;;
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
    dir=$1 prepare=$2 after=$3 limit=$4 stderr_to=$5 run_as=$6 chrootexec=$7 inherit=$8 signal=$9; shift 9
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
      [ -z "$inherit" ] || (sleep "$inherit"; echo "inherited ended" >> "$dir/bin/launched") &
      if [ -n "$signal" ]; then
        (until [ -s "$dir/bin/launched" ]; do sleep 0.05; done
         while [ "$signal" = ended ] && [ -e "/proc/$(cat "$dir/group")" ]; do sleep 0.05; done
         kill -HUP -- -"$(cat "$dir/group")"; kill -INT -- -"$(cat "$dir/group")") 2> /dev/null &
        echo "$BASHPID" > "$dir/group"
        exec setsid "$dir/bin/kestrel" "$@"
      fi
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
    "$inherit" "$signal" "${args[@]}"
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
