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
export -f winpath

# Ends the prefix's wineserver and waits until it has gone.
wine_stop() { wineserver -k 2> /dev/null; wineserver -w; }

# What was wanted against what was got, as a unified diff.
differ() { diff -u --label wanted --label got <(printf '%s\n' "$1") <(printf '%s\n' "$2"); }

# Runs a command under an X server of its own (XVFB_ARGS: the server's
# arguments) and ends the prefix's Wine processes while that server still
# stands: xvfb-run takes the server's cookie back and then stops it, and a
# Wine process left behind says "X connection to :N broken" (or, connecting
# in between, "Authorization required") on the case's standard error. An
# existing prefix is started first with its output dropped: the services
# that start with it (now and then one fails on its own) keep that output,
# not the command's. The command is a program: xvfb-run, a POSIX shell
# script, passes no shell function on.
with_x() {
  xvfb-run -a ${XVFB_ARGS:+-s "$XVFB_ARGS"} bash -c '
    [ -f "$WINEPREFIX/system.reg" ] && wine cmd /c exit > /dev/null 2>&1
    "$@"; status=$?
    wineserver -k 2> /dev/null; wineserver -w; exit $status' _ "$@"
}
export -f with_x

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
summary() { echo "$passed passed, $failures failed"; [ "$failures" = 0 ]; }
