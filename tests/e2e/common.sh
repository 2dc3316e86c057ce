# Sourced by the test scripts: what they share.

# A working folder that goes when the script ends (kept with KEEP=1).
work=$(mktemp -d)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT

# A Windows path through drive Z:, without winepath: a Wine process started
# before Xvfb would make a desktop with no display.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
export -f winpath

# Ends the prefix's wineserver and waits until it has gone.
wine_stop() { wineserver -k 2> /dev/null; wineserver -w; }

# Named checks, counted: check NAME GOT WANT compares; step NAME COMMAND...
# passes when the command does. summary prints the closing line and fails
# when any did.
failures=0 passed=0
check() {
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1)); echo "ok   $1"
  else
    failures=$((failures + 1)); printf 'FAIL %s\n--- got\n%s\n--- wanted\n%s\n' "$1" "$2" "$3"; return 1
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
