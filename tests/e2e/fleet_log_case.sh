#!/usr/bin/env bash
# Fleet runs of the real kestrel.exe under Wine against a hostile log: a
# full file system, another writer's line not ended at its end, a folder on
# its way that is a mount point, a hard link, a log a user owns (fleet_run.sh
# runs them).
#   fleet_log_case.sh PREFIX KESTREL BOXDRIVER STANDIN_ENDS SQUATTER CASE
steps() {
  case $name in
    log_full)
      # A log whose last page has 5 bytes free, and no page left: the first
      # run's line does not fit; the second one's does, once room is made.
      # The small file system is the root of a drive of its own: a folder
      # that another file system is mounted on reads as a reparse point
      # (as a volume mounted in a folder does on Windows), which no log is
      # reached through.
      mount -t tmpfs -o size=16k none "$logs"
      ln -s "$logs" "$WINEPREFIX/dosdevices/l:"
      log='"/log:L:\fleet.log"'
      seed > "$logs/fleet.log"
      head -c 12288 /dev/zero > "$logs/filler"
      kestrel first 60 /quiet "$log"
      until_recorded started 1 && until_flash_over
      cp "$logs/fleet.log" "$work/fleet.log.full"
      rm "$logs/filler"
      kestrel second 60 /quiet "$log"
      cp "$logs/fleet.log" "$work/fleet.log.final" ;;
    log_fragment)
      printf '{"time":"x","board":"1' > "$logs/fleet.log"
      kestrel first 60 /quiet "$log"
      cp "$logs/fleet.log" "$work/fleet.log.final" ;;
    log_through_mount)
      # A folder on the log's way that is a reparse point: Wine shows a
      # mount point as one, as Windows shows a junction a user made.
      mkdir "$logs/other" && mount -t tmpfs none "$logs/other"
      kestrel first 60 /quiet "\"/log:$(winpath "$logs/other/fleet.log")\""
      ls "$logs/other" > "$work/other.list" ;;
    log_user_owned)
      # A log that a user made first, where users may make files: Wine
      # shows a file of another Unix account as owned by that account's
      # SID (ANONYMOUS LOGON here), never the Administrators group's.
      echo "a user's line" > "$logs/fleet.log"
      chown nobody "$logs/fleet.log" && chmod 666 "$logs/fleet.log"
      kestrel first 60 /quiet "$log" ;;
    log_hard_link)
      echo precious > "$logs/other.txt"
      ln "$logs/other.txt" "$logs/fleet.log"
      kestrel first 60 /quiet "$log" ;;
  esac
}

checks() {
  case $name in
    log_full)
      check "a full disk changes no status" "$(report first) $(report second)" "wow64=0 exit=0 wow64=0 exit=0"
      check "the line that did not fit left nothing" "$(cmp -s "$work/fleet.log.full" <(seed) && echo same)" same
      check "every line is whole" "$(log_lines "$work/fleet.log.final" | sed 's/"x*"/"…"/')" '{"seed":"…"}
'"$launched" ;;
    log_fragment)
      check "the fragment stays and the lines are whole" "$(log_lines "$work/fleet.log.final")" '{"time":"x","board":"1'"
$launched" ;;
    log_through_mount)
      check "the run goes on" "$(report first)" "wow64=0 exit=0"
      check "nothing is written through the reparse point" "$(cat "$work/other.list")" "" ;;
    log_user_owned)
      check "the run goes on with its status" "$(report first)" "wow64=0 exit=0"
      check "nothing is written to the user's log" "$(cat "$logs/fleet.log")" "a user's line" ;;
    log_hard_link)
      check "the run goes on" "$(report first)" "wow64=0 exit=0"
      check "the other file is unchanged" "$(cat "$logs/other.txt")" precious ;;
    *) echo "no such case: $name"; exit 64 ;;
  esac
}

source "$(dirname "$0")/fleet_run.sh"
