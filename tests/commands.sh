#!/usr/bin/env bash
# Every command that docs/testing.md shows under "Running the tests" names
# something that is there, run in a dry form: ctest with -N (and no "No tests
# were found"), a build with make -n, a preset by its listing, a unit test
# binary with --gtest_list_tests, a script by bash -n. A command of a preset
# whose build folder is missing is skipped; one of no known kind fails.
#   commands.sh SOURCE_DIR
set -u
cd "$1"
source tests/e2e/common.sh
skipped=0
dry() {  # COMMAND: what it printed and how it ended, in its dry form
  local command=$1 preset
  preset=$(grep -oE -- '--preset [a-z]+' <<< "$command" | cut -d' ' -f2)
  if [ -n "$preset" ] && [ ! -d "build/$preset" ] && [[ $command != "cmake --preset"* ]]; then
    echo skipped; return 0
  fi
  # Leading VAR=value settings are dropped: they change no name.
  while [[ $command =~ ^[A-Z_]+=[^\ ]*\ (.*)$ ]]; do command=${BASH_REMATCH[1]}; done
  case $command in
    "ctest "*) out=$(eval "$command -N" 2>&1) || { echo "failed: $out"; return; }
               if grep -qE 'No tests were found|Total Tests: 0' <<< "$out"; then echo "names no test"; else echo ok; fi ;;
    "cmake --build "*) eval "$command -- -n" > /dev/null 2>&1 && echo ok || echo "make -n failed" ;;
    "cmake --preset "*) cmake --list-presets 2>&1 | grep -qF "\"${command#cmake --preset }\"" && echo ok ||
                          echo "no such configure preset" ;;
    build/*gate_tests*) [ -x "${command%% *}" ] || { echo skipped; return; }
                        out=$(eval "$command --gtest_list_tests" 2>&1)
                        if grep -q '^  ' <<< "$out"; then echo ok; else echo "the filter names no test"; fi ;;
    "bash scripts/"*) bash -n "$(cut -d' ' -f2 <<< "$command")" && echo ok || echo "not a script" ;;
    *) echo "no dry form known for this command" ;;
  esac
}
commands=$(sed -n '/^## Running the tests/,/^## /p' docs/testing.md | sed -n 's/^    //p' | sed 's/ && /\n/g')
[ -n "$commands" ] || { echo "FAIL no commands found in docs/testing.md"; exit 1; }
while IFS= read -r command; do
  got=$(dry "$command")
  if [ "$got" = skipped ]; then echo "skip $command: its build is not there"; skipped=$((skipped + 1)); continue; fi
  check "$command" "$got" ok
done <<< "$commands"
summary || exit 1
[ $skipped = 0 ] || exit 77
