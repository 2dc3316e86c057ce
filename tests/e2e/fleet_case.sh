#!/usr/bin/env bash
# Fleet runs of the real kestrel.exe under Wine that take more than one run,
# around the flash lock: a second run while a flash lives, a kestrel ended by
# force, a flash whose child outlives the utility, runs at once, a time limit,
# a squatter on the lock's names, a double-click during a flash, an agent's
# job, 70 helpers and a child that inherit nothing, a tail too long
# (fleet_run.sh runs them).
#   fleet_case.sh PREFIX KESTREL BOXDRIVER STANDIN_ENDS SQUATTER CASE
steps() {
  case $name in
    killed_wait)
      echo "10000 0" > "$bin/ends.txt"
      # Ended by force while it waits on the flash; a second run meanwhile.
      kestrel first 3 /quiet /wait "$log"
      grep -c '^started' "$bin/launched.txt" > "$work/started.before-second"
      cp "$logs/fleet.log" "$work/fleet.log.while-flash"
      kestrel second 60 /quiet /wait "$log"
      # Once the flash has ended, the lock is gone with it.
      until_recorded ended 1 && until_flash_over
      echo "1000 0" > "$bin/ends.txt"
      kestrel third 60 /quiet /wait "$log" ;;
    nowait_then_wait)
      echo "8000 0" > "$bin/ends.txt"
      kestrel first 60 /quiet "$log"
      kestrel second 60 /quiet /wait "$log"
      until_recorded ended 1 ;;
    child_outlives)
      echo "0 0 6000" > "$bin/ends.txt"
      kestrel first 60 /quiet /wait "$log" &
      waiting=$!
      until_recorded ended 1
      kestrel second 60 /quiet "$log"
      wait $waiting
      # The record as it stood when the waiting run ended.
      cp "$bin/launched.txt" "$work/launched.at-first-end" ;;
    many_at_once)
      # After a flash that is over (whose job Wine keeps), eight runs at
      # once: one takes the lock, the others find its flash.
      echo "500 0" > "$bin/ends.txt"
      kestrel first 60 /quiet /wait "$log"
      until_flash_over
      echo "15000 0" > "$bin/ends.txt"
      for n in 1 2 3 4 5 6 7 8; do kestrel "many$n" 60 /quiet "$log" & done
      wait
      until_flash_over ;;
    time_limit)
      # A flash of 90 s, a wait of a minute at most: kestrel stops waiting,
      # the flash goes on and keeps the lock.
      echo "90000 0" > "$bin/ends.txt"
      kestrel first 120 /quiet /wait /timeout:1 "$log"
      cp "$bin/launched.txt" "$work/launched.at-first-end"
      kestrel second 60 /quiet "$log" ;;
    squat_mutex)
      # A user's own objects: the user and SYSTEM alone may open them.
      squat mutex && kestrel first 60 /quiet "$log" ;;
    squat_event)
      squat event '(A;;GA;;;WD)' && kestrel first 60 /quiet "$log" ;;
    squat_job)
      # Anyone may open it: only its owner tells it from the lock.
      squat job '(A;;GA;;;WD)' && kestrel first 60 /quiet "$log" ;;
    squat_semaphore)
      # Kinds of object that a user may make under any name, as a mutex.
      squat semaphore '(A;;GA;;;WD)' && kestrel first 60 /quiet "$log" ;;
    squat_timer)
      LOCK_NAME='Global\kestrel-flash-start' squat timer '(A;;GA;;;WD)' && kestrel first 60 /quiet "$log" ;;
    squat_start)
      LOCK_NAME='Global\kestrel-flash-start' squat event '(A;;GA;;;WD)' && kestrel first 60 /quiet "$log" &&
        kestrel second 60 /check "$log" ;;
    plain_while_flash)
      # A technician's double-click while a fleet flash runs.
      echo "3000 0" > "$bin/ends.txt"
      kestrel first 60 /quiet "$log" && until_recorded started 1
      kestrel second 60
      until_flash_over ;;
    agent_job_leave)
      # kestrel in an agent's job that ends what it holds once closed: the
      # utility has left it, and the flash lives on.
      echo "1500 0" > "$bin/ends.txt"
      JOB=leave kestrel first 60 /quiet "$log"
      until_recorded ended 1 ;;
    agent_job_stay)
      # One that allows no breakaway: the flash ends with it, and the log
      # said so before the start.
      echo "1500 0" > "$bin/ends.txt"
      JOB=stay kestrel first 60 /quiet "$log"
      until_flash_over ;;
    many_helpers)
      # 70 helpers, then a child that holds the flash on: none inherits a
      # handle, each must get the lock's all the same.
      echo "0 0 300 70" > "$bin/ends.txt"
      kestrel first 120 /quiet /wait "$log" ;;
    tail_too_long)
      # kestrel.exe started by a short relative path, so that its own command
      # line still fits (32,767 characters with its null) where the
      # utility's, with the full path of its folder, does not.
      head -c $((32766 - 28)) /dev/zero | tr '\0' x > "$work/tail"
      cd "$work" && wine "$boxdriver" 'bin\kestrel.exe' "$(winpath "$work/cwd")" 60 /quiet -- "@$(winpath "$work/tail")" \
        > "$work/first.report" 2> "$work/first.err" ;;
  esac
}

checks() {
  case $name in
    killed_wait)
      check "the first run was ended while its flash ran" "$(report first) $(cat "$work/started.before-second")" \
        "timeout 1"
      check "a run while the flash lives starts nothing" "$(report second)" "wow64=0 exit=1618"
      check "a run once it has ended starts the flash" "$(report third)" "wow64=0 exit=0"
      check "two flashes, one after the other" "$(started)" 2
      check "the line before the start is there while the flash runs" "$(log_lines "$work/fleet.log.while-flash")" \
        "$starting"
      check "the log, the killed run's line before its start too" "$(log_lines "$logs/fleet.log")" "$starting
$running
$starting
$waited" ;;
    nowait_then_wait)
      check "the first run ends at once" "$(report first)" "wow64=0 exit=0"
      check "a waiting run while its flash lives starts nothing" "$(report second)" "wow64=0 exit=1618"
      check "one flash" "$(started)" 1
      check "the log" "$(log_lines "$logs/fleet.log")" "$launched
$running"
      check "a run's lines share its id" "$(jq -r .run "$logs/fleet.log" | uniq -c | awk '{print $1}' | paste -sd' ')" \
        "2 1" ;;
    child_outlives)
      check "the waiting run ends with the utility's status" "$(report first)" "wow64=0 exit=0"
      check "it ended after the flash's child" "$(tr -d '\r' < "$work/launched.at-first-end" | tail -1)" "child ended"
      check "a run while the child lives starts nothing" "$(report second)" "wow64=0 exit=1618"
      check "one flash" "$(started)" 1
      check "the log" "$(log_lines "$logs/fleet.log")" "$starting
$running
$waited" ;;
    many_at_once)
      check "one of eight runs at once starts the flash" \
        "$(for n in 1 2 3 4 5 6 7 8; do report "many$n"; done | sort | uniq -c | sed 's/^ *//')" \
        "1 wow64=0 exit=0
7 wow64=0 exit=1618"
      check "two flashes, one after the other" "$(started)" 2 ;;
    time_limit)
      check "the wait stops at its limit, with its own status" "$(report first)" "wow64=0 exit=9"
      check "the flash was still running then" "$(tr -d '\r' < "$work/launched.at-first-end" | cut -d' ' -f1)" started
      check "and kept the lock" "$(report second)" "wow64=0 exit=1618"
      check "one flash" "$(started)" 1
      check "the log" "$(log_lines "$logs/fleet.log")" "$starting"'
{"board":"34B","decision":"timed out","status":9}
'"$running" ;;
    squat_*)
      check "a user's object of the lock's name: nothing starts" "$(report first)" "wow64=0 exit=1618"
      check "no flash" "$(started)" ""
      # An object that only its user and SYSTEM may open: an administrator
      # cannot read its owner (SYSTEM, as agents run kestrel, can).
      squatted='{"board":"34B","decision":"lock squatted","status":1618,"lockOwner":"'$squatter_sid'"}'
      [ $name = squat_mutex ] && squatted='{"board":"34B","decision":"lock squatted","status":1618}'
      [ $name = squat_start ] && check "deciding only, the same" "$(report second)" "wow64=0 exit=1618" &&
        squatted="$squatted
$squatted"
      check "the log names its owner" "$(log_lines "$logs/fleet.log")" "$squatted" ;;
    plain_while_flash)
      check "a fleet flash runs" "$(report first)" "wow64=0 exit=0"
      check "a double-click starts nothing, and says so" "$(report second)" \
        "box caption=WinPhlash text=A BIOS update is already running.  The system BIOS will not be updated. icon=1 buttons=1 wow64=0 exit=1618"
      check "one flash" "$(started)" 1 ;;
    agent_job_leave)
      check "the run" "$(report first)" "wow64=0 exit=0"
      check "the flash outlived the agent's job" "$(tr -d '\r' < "$bin/launched.txt" | cut -d' ' -f1)" "started
ended"
      # The run's end says what was done. (The line before the start says
      # what the job's limits allow: Wine answers a job's limits as none.)
      check "the log" "$(log_lines "$logs/fleet.log" | tail -1)" \
        '{"board":"34B","decision":"launched","status":0,"agentJob":"left"}' ;;
    agent_job_stay)
      check "the run" "$(report first)" "wow64=0 exit=0"
      check "the flash ended with the agent's job" "$(cat "$bin/launched.txt" 2> /dev/null | grep -c ended)" 0
      check "the log says so before the start" "$(log_lines "$logs/fleet.log")" \
        '{"board":"34B","decision":"starting","agentJob":"kept"}
{"board":"34B","decision":"launched","status":0,"agentJob":"kept"}' ;;
    many_helpers)
      check "the waited flash" "$(report first)" "wow64=0 exit=0"
      check "every helper held the lock" "$(tr -d '\r' < "$bin/launched.txt" | grep held)" "helpers held 70 of 70"
      check "and the child" "$(tr -d '\r' < "$bin/holds.txt" 2> /dev/null)" "child holds"
      check "the wait was for the child too" "$(tr -d '\r' < "$bin/launched.txt" | tail -1)" "child ended" ;;
    tail_too_long)
      check "a tail the utility's command line cannot hold is a usage error" "$(report first)" "wow64=0 exit=7"
      check "nothing started" "$(started)" "" ;;
    *) echo "no such case: $name"; exit 64 ;;
  esac
}

# The squatter's owner (tests/windows/squatter.cpp).
squatter_sid=S-1-5-21-1004336348-1177238915-682003330-1001
source "$(dirname "$0")/fleet_run.sh"
