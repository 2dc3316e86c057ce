# Sourced by release_check.sh once the check has run: what each kind of run
# must show in the report ($report, its FAILED lines in $failed), a kind of
# careless gate a block, kestrel.exe itself the last.
fails() { grep -cE "^FAILED   $1" <<< "$failed"; }
case $kind in
  control|map_only|driver|child)
    check "exit status" "$(cat "$work/release/status")" 1
    in_process=""
    [ $kind = child ] && in_process=' \(in [^)]*\\(planted|manifest) x\\bin\\'"$name"'\)'
    dll='dwmapi\.dll'
    [ $kind = driver ] && dll='msacm32\.drv'
    # The manifest's stage plants every name too, beside the program.
    check "the planted stages fail, naming the DLL" \
      "$(fails '(planted DLLs|planted manifest): planted DLL loaded: [^;]*\\(planted|manifest) x\\bin\\'"$dll$in_process"';')" 2
    if [ $kind = child ]; then
      check "the copy it starts fails the road, named" \
        "$(fails 'road: .*; also started: [^;]*\\road x\\bin\\'"$name"'$')" 1
    else
      check "the road itself holds" "$(grep -c '^held     road: ' <<< "$report")" 1
    fi ;;
  twice|cwd)
    check "exit status" "$(cat "$work/release/status")" 1
    wrong="utility started 2 times: "
    [ $kind = cwd ] && wrong="the current folder's WinPhlash.exe started: "
    check "the road fails on the starts" "$(fails "road: the launch road expected; exit status 0; .*$wrong")" 1
    check "every launch-road check fails" \
      "$(fails '(road|planted DLLs|planted manifest|hidden start): the launch road expected; ')" 4
    [ $kind = cwd ] && check "the search without a utility beside finds the decoy" \
      "$(fails "utility beside only: exit status 3 and nothing started expected; .*$wrong")" 1 ;;
  error_icon)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the box read whole, its icon not the warning icon" "$(grep -cxF 'FAILED   road: the wrong-model road expected; box "WinPhlash": "This BIOS is not for your Notebook PC."; exit status 2; utility not started' <<< "$failed")" 1
    check "every road check fails on the icon" \
      "$(fails '(road|planted DLLs|planted manifest|hidden start): the wrong-model road expected; ')" 4 ;;
  waits|job|unquoted|cmd)
    # Careless starts: each fails every launch-road check, named.
    check "exit status" "$(cat "$work/release/status")" 1
    why="the program ended only after it"
    [ $kind = job ] && why="it was ended before its own end"
    [ $kind = unquoted ] && why='also started: [^;]*\\road\.exe'
    [ $kind = cmd ] && why='also started: [^;]*\\cmd\.exe'
    check "the road fails, saying why" "$(fails "road: the launch road expected; exit status 0; .*$why")" 1
    check "every launch-road check fails" \
      "$(fails '(road|planted DLLs|planted manifest|hidden start|fleet /quiet /log:FILE): ')" 5
    [ $kind = cmd ] && check "the planted cmd.exe beside the gate is the one started" \
      "$(fails 'planted DLLs: .*also started: [^;]*\\planted x\\bin\\cmd\.exe')" 1 ;;
  absent_load)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the status-3 road fails on the load" \
      "$(fails 'utility beside only: planted DLL loaded: [^;]*\\absent x\\bin\\dwmapi\.dll;')" 1
    check "the road itself holds" "$(grep -c '^held     road: ' <<< "$report")" 1 ;;
  abort_retry_ignore)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the buttons named" "$(fails 'road: the wrong-model road expected; .* with the buttons Abort, Retry, Ignore;')" 1
    check "every box check fails" \
      "$(fails '(road|planted DLLs|planted manifest|utility beside only|hidden start): the wrong-model road expected; ')" 5 ;;
  escape)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the copy left running fails the road, named" \
      "$(fails 'road: .*; still running when the run was over: [^;]*\\road x\\bin\\'"$name")" 1
    check "nothing of the scratch folder left behind" "$(grep -c 'left behind' <<< "$report")" 0 ;;
  loud)
    check "exit status" "$(cat "$work/release/status")" 1
    check "its box under /quiet fails the fleet lines" \
      "$(fails 'fleet /quiet /(log:FILE|bogus): exit status [27], no box, nothing started expected; .*box "WinPhlash"')" 2
    check "and under /check" \
      "$(fails 'fleet /bitlocker /check: .*: exit status 2, no box, nothing started expected; box "WinPhlash"')" 1
    check "the plain road holds" "$(grep -c '^held     road: ' <<< "$report")" 1 ;;
  no_target|misspelt)
    check "exit status" "$(cat "$work/release/status")" 1
    which="/target:VERSION /log:FILE, the machine's own"
    [ $kind = misspelt ] && which="/taget:VERSION, misspelt, the machine's own"
    check "the machine at its own version flashed" \
      "$(fails "fleet /quiet $which[^:]*: exit status (11|7), no box, nothing started expected; exit status 0; utility: started ")" 1
    check "another version flashed, as it should" \
      "$(grep -c '^held     fleet /quiet /wait /target:VERSION, another ' <<< "$report")" 1 ;;
  no_timeout)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the wait not over a minute after the start" \
      "$(fails 'fleet /quiet /wait /timeout:1 /log:FILE, the utility staying on past the minute: .*no end within 80 s')" 1
    check "the runs during its flash refused" "$(grep -c '^held     fleet .*during the flash of /wait /timeout:1' <<< "$report")" 2 ;;
  no_tail)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the utility without its arguments" \
      "$(fails 'fleet /quiet -- ARGUMENTS .*the utility.s arguments \[/s "C:\\Program Files\\flash x" .* expected; exit status 0; utility: started usestartup=1 show=1 args=\[\] ')" 1 ;;
  check_first)
    check "exit status" "$(cat "$work/release/status")" 1
    check "/bitlocker /check flashes" \
      "$(fails 'fleet /bitlocker /check: the protection read, never changed, no box: exit status 1[02], no box, nothing started expected; exit status 0; utility: started ')" 1 ;;
  glued_log)
    check "exit status" "$(cat "$work/release/status")" 1
    check "its line joined to the other writer's" \
      "$(fails "fleet /quiet /log:FILE, the log holding earlier lines .*: log: the run's first line joined to the earlier text's last: note from another writer: ")" 1 ;;
  process_lock)
    check "exit status" "$(cat "$work/release/status")" 1
    check "a user's object of the lock's name stops nothing" \
      "$(fails "fleet /quiet /log:FILE, a user's object holding the flash lock's name: exit status 1618, no box, nothing started expected; exit status 0; utility: started ")" 1
    check "a double-click during a flash refused all the same" "$(grep -c '^held     plain run (no switches) while a /quiet flash runs: ' <<< "$report")" 1 ;;
  load_1618|wait_lock)
    check "exit status" "$(cat "$work/release/status")" 1
    why='planted DLL loaded: [^;]*\\double click x\\bin\\dwmapi\.dll; '
    [ $kind = wait_lock ] && why='the box "A BIOS update is already running.  The system BIOS will not be updated.", exit status 1618, nothing started expected; exit status 0; utility: started '
    check "a double-click during a flash" "$(fails "plain run \\(no switches\\) while a /quiet flash runs: $why")" 1 ;;
  log_zero)
    check "exit status" "$(cat "$work/release/status")" 1
    check "a log that cannot be opened taken for success" \
      "$(fails 'fleet /quiet /log:FILE, a log that cannot be opened \(a folder of its name\): exit status 2, no box, nothing started expected; exit status 0; ')" 1 ;;
  own_keys)
    check "exit status" "$(cat "$work/release/status")" 1
    check "a line without the keys tools read" \
      "$(fails "fleet /quiet /log:FILE, the log holding earlier lines .*: log: a line without \"started\": ")" 1 ;;
  absent_box)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the missing utility told in a box under /quiet" \
      "$(fails 'fleet /quiet, no utility beside it: exit status 3, no box, nothing started expected; box "WinPhlash"')" 1 ;;
  retry_crash)
    check "exit status" "$(cat "$work/release/status")" 1
    check "a second start after the crash" \
      "$(fails 'fleet /quiet /wait /log:FILE, the utility crashing \(0xC0000005\): .*utility started 2 times: ')" 1 ;;
  child_grace)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the child's end not waited for" \
      "$(fails 'fleet /quiet /wait /log:FILE, the utility ending with 0 and its child later: ')" 1 ;;
  status_1641|status_crash)
    check "exit status" "$(cat "$work/release/status")" 1
    which="ending with 1641: exit status 1641"
    [ $kind = status_crash ] && which="crashing \\(0xC0000005\\): exit status 3221225477"
    check "its status taken for success" \
      "$(fails "fleet /quiet /wait /log:FILE, the utility $which once the utility had ended, no box expected; exit status 0; ")" 1
    check "the other waits held" "$(grep -c '^held     fleet /quiet /wait /log:FILE, the utility ' <<< "$report")" 5 ;;
  split_line)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the runs' lines broken into each other" \
      "$(fails "fleet /check /quiet /log:FILE, three runs at once into one log: log: not a whole JSON object \\(two runs' pieces in one line\\?\\): ")" 1 ;;
  drop_line)
    check "exit status" "$(cat "$work/release/status")" 1
    check "a run's line lost" \
      "$(fails "fleet /check /quiet /log:FILE, three runs at once into one log: log: [0-2] lines of 3 runs")" 1 ;;
  no_starting)
    check "exit status" "$(cat "$work/release/status")" 1
    check "no line starting before a waited flash" \
      "$(fails 'fleet /quiet /wait /log:FILE, the utility .*: log: no line "starting" before the run.s last')" 6 ;;
  late_starting)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the run ended during its flash left no line starting" \
      "$(fails 'fleet /quiet /wait, then /quiet twice during its flash, [^:]*: log: no line "starting" from the run ended during its flash')" 1
    check "the waits' logs as kestrel.exe's" "$(grep -c '^held     fleet /quiet /wait /log:FILE, the utility ' <<< "$report")" 6 ;;
  own_statuses)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the utility's 1618 passed on" \
      "$(fails 'fleet /quiet /wait /log:FILE, the utility ending with 1618 \(kestrel.s own: 6\): exit status 6 .*; exit status 1618; ')" 1 ;;
  battery_wait)
    check "exit status" "$(cat "$work/release/status")" 1
    check "on battery, a waited run flashes" \
      "$(fails 'fleet /quiet /wait /target:VERSION, another[^:]*: exit status 4, no box, nothing started expected; exit status 0; utility: started ')" 1 ;;
  number)
    check "exit status" "$(cat "$work/release/status")" 1
    check "034A flashed" "$(fails 'road: the wrong-model road expected; .*utility: started ')" 1 ;;
  no_breakaway)
    check "exit status" "$(cat "$work/release/status")" 1
    check "the flash ended with the agent's job" \
      "$(fails 'fleet /quiet /log:FILE in a job that ends its processes as it closes, closed at its end: the utility started once and on to its own end after the job closed expected; exit status 0; utility started 1 times, ended with the job')" 1 ;;
  *)
    if [ $temp_mount = ro ]; then
      check "exit status" "$(cat "$work/release/status")" 0
      check "the scratch folder under %TEMP%, its reparse point named" \
        "$(grep -cE '^machine: scratch folder: C:\\users\\[^\\]+\\Temp\\kestrel-check-[0-9]+-0 \(%TEMP% lies through the reparse point C:\\users\\[^\\]+\\Temp, and so does this folder: no log of kestrel.exe there\)$' <<< "$report")" 1
      # The fleet's two, the six waits, and the switches' five: /target: at
      # its own version, the log written before, the runs at once into one log, the user's object of the
      # lock's name, the agent's job.
      check "every stage with a log skipped, saying why" \
        "$(grep -cE '^skipped  fleet .*/log:FILE.*: the scratch folder lies through the reparse point C:\\users\\[^\\]+\\Temp, where kestrel.exe writes no log$' <<< "$report")" 13
      check "the rest held" \
        "$(grep -cE '^held     (fleet /quiet (/bogus|/wait, then|/wait /target:|/taget:|/log:FILE, a log that cannot)|plain run )' <<< "$report")" 6
      check "none failed" "$(tail -1 <<< "$report")" "7 passed, 0 failed"
      return
    fi
    if [ "$junit" != report.xml ]; then
      check "a JUnit file not written turns the run that held into 2" "$(cat "$work/release/status")" 2
      check "and says so" "$(grep -c '^kestrel-check: the JUnit report could not be written to .*\\missing\\report\.xml (error 3)$' <<< "$report")" 1
      check "the road held" "$(grep -c '^held     road: ' <<< "$report")" 1
      return
    fi
    check "exit status" "$(cat "$work/release/status")" 0
    roads=0
    for stage in road planted manifest beside hidden; do asked $stage && roads=$((roads + 1)); done
    check "every check held" \
      "$(grep -cE '^held     (road|planted DLLs|planted manifest|utility beside only|hidden start): ' <<< "$report")" $roads
    fleet=0
    asked fleet && fleet=3
    asked wait && [ $road = launch ] && [ $battery = no ] && fleet=$((fleet + 7))
    [ $temp_mount = yes ] && check "the scratch folder in C:\\, away from the mount point" \
      "$(grep -cE '^machine: scratch folder: C:\\kestrel-check-[0-9]+-0 \(%TEMP% lies through the reparse point C:\\users\\[^\\]+\\Temp, where kestrel.exe rightly writes no log\)$' <<< "$report")" 1
    [ $slow = yes ] && check "the runs during the flash refused, however late the board came" \
      "$(grep -c '^held     fleet /quiet /wait, then /quiet twice during its flash, .*: second run: exit status 1618; after the first was ended: exit status 1618; ' <<< "$report")" 1
    if [ $battery = yes ]; then
      check "on battery, as the report says" "$(grep -c '^machine: power on battery ' <<< "$report")" 1
      check "the fleet launch refused with 4" \
        "$(grep -c '^held     fleet /quiet /log:FILE: exit status 4; utility not started' <<< "$report")" 1
      check "nothing waits on battery" "$(grep -c '^skipped  fleet /wait: ' <<< "$report")" 1
    fi
    mine='^held     (fleet .*(/target:|/taget:|/timeout:1|-- ARGUMENTS|earlier lines|at once|cannot be opened|no utility beside|/bitlocker|flash lock|a job that)|plain run )'
    check "every fleet stage held" "$(grep '^held     fleet ' <<< "$report" | grep -cvE "$mine")" $fleet
    # The switches' stages: the log's two and /check /bitlocker's on every road;
    # /target:'s on the launch road, even on battery; the rest where a flash
    # starts, the time limit's (its line and two during it) where asked.
    switches=0
    if asked oldlog; then
      switches=4
      [ $road = launch ] && switches=7
      [ $road = launch ] && [ $battery = no ] && switches=12
      [ $road = launch ] && [ $battery = no ] && [ $minute = yes ] && switches=15
    fi
    # Without WMI the protection is not read: /check /bitlocker saw no change,
    # and says skipped, not held.
    if asked bitlocker && [ "${WINEDLLOVERRIDES:-}" = "wbemprox=d" ]; then
      check "the protection unread, /check /bitlocker skipped" \
        "$(grep -c '^skipped  fleet /bitlocker /check: .*: the protection could not be read, .*; protection before: unknown, after: unknown$' <<< "$report")" 1
      switches=$((switches - 1))
    fi
    check "every switch's stage held" "$(grep -cE "$mine" <<< "$report")" $switches
    check "the mains state on the report" "$(grep -c '^machine: power ' <<< "$report")" 1
    check "closing line" "$(tail -1 <<< "$report")" "$((1 + roads + fleet + switches)) passed, 0 failed" ;;
esac
