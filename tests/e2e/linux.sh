#!/usr/bin/env bash
# Runs the real kestrel against crafted SMBIOS tables. Each case runs in a
# private mount namespace whose /sys/firmware/dmi/tables holds the table, with
# kestrel copied to a folder of its own and, where the case says, a stand-in
# WinPhlash.exe beside it (or only in the current folder).
#   linux.sh KESTREL MKDMI
set -u
kestrel=$1 mkdmi=$2
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
  echo "SKIP: needs root and mount namespaces"; exit 77
fi
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
failures=0 passed=0

privilege="WinFlash: You must be logged in with administrator privilege in order to update the system BIOS.  The system BIOS will not be updated."
wrong="WinPhlash: This BIOS is not for your Notebook PC."

# run_case NAME UTILITY(beside|cwd|none) EXIT STDERR VERSION...
# VERSION "-" is a board with no Version string; no VERSION at all: no table.
run_case() {
  local name=$1 utility=$2 want_exit=$3 want_err=$4; shift 4
  local dir=$work/$name
  mkdir -p "$dir/bin" "$dir/cwd" "$dir/dmi"
  cp "$kestrel" "$dir/bin/kestrel"
  local standin='#!/bin/sh
echo "started $#" >> "$(dirname "$0")/launched"'
  case $utility in
    beside) printf '%s\n' "$standin" > "$dir/bin/WinPhlash.exe"; chmod +x "$dir/bin/WinPhlash.exe" ;;
    cwd) printf '%s\n' "$standin" > "$dir/cwd/WinPhlash.exe"; chmod +x "$dir/cwd/WinPhlash.exe" ;;
  esac
  [ $# -gt 0 ] && "$mkdmi" "$dir/dmi" "$@"
  unshare -m bash -c '
    mount -t tmpfs none /sys/firmware && mkdir -p /sys/firmware/dmi/tables &&
    cp -r "$1"/. /sys/firmware/dmi/tables/ && cd "$2" && PATH="$2:$PATH" exec "$3"' \
    _ "$dir/dmi" "$dir/cwd" "$dir/bin/kestrel" 2> "$dir/stderr"
  local got_exit=$? got_err
  got_err=$(cat "$dir/stderr")
  local launched=""
  if [ "$want_exit" = 0 ]; then
    for _ in $(seq 50); do [ -s "$dir/bin/launched" ] && break; sleep 0.1; done
  else
    sleep 0.2
  fi
  launched=$(cat "$dir/bin/launched" "$dir/cwd/launched" 2>/dev/null)
  local want_launch=""; [ "$want_exit" = 0 ] && want_launch="started 0"
  if [ "$got_exit" = "$want_exit" ] && [ "$got_err" = "$want_err" ] && [ "$launched" = "$want_launch" ]; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failures=$((failures + 1))
    echo "FAIL $name: exit $got_exit (want $want_exit), stderr [$got_err] (want [$want_err]), launched [$launched] (want [$want_launch])"
  fi
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

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
