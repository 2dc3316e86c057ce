# Sourced by gate_case.sh once the case is read from its table: lays the case
# down, runs it in a room of its own, and compares what came of it.

# The prefix reports Vista: the System32-only search is not asked for there,
# and the system DLLs are loaded by full path instead.
vista=no
grep -qi '^"Version"="vista"' "$WINEPREFIX/user.reg" 2> /dev/null && vista=yes

mkdir -p "$work/bin" "$work/cwd" "$(dirname "$log_file")"
case $program in
  unmanifested) cp "$unmanifested" "$work/bin/kestrel.exe" ;;
  seam) cp "$seam" "$work/bin/kestrel.exe" ;;
  *) cp "$kestrel" "$work/bin/kestrel.exe" ;;
esac
if [ -n "$ends" ]; then
  standin=$standin_ends
  echo "$ends" > "$work/bin/ends.txt"
  want_launch="$want_launch
ended"
fi
case $utility in
  beside) cp "$standin" "$work/bin/WinPhlash.exe" ;;
  cwd) cp "$standin" "$work/cwd/WinPhlash.exe" ;;
  empty) : > "$work/bin/WinPhlash.exe" ;;
  text) echo 'echo flash' > "$work/bin/WinPhlash.exe" ;;
  cut) head -c 4096 "$standin" > "$work/bin/WinPhlash.exe" ;;
  dllless) cp "$needs_absent" "$work/bin/WinPhlash.exe" ;;
  dll) cp "$planted" "$work/bin/WinPhlash.exe" ;;
esac
[ $wmi = nowmi ] && export WINEDLLOVERRIDES="wbemprox=d"
lay_plants
run=$(winpath "$work/bin/kestrel.exe") cwd=$(winpath "$work/cwd")
drive_x=""
if [ $place = root ]; then
  [ -e "$WINEPREFIX/dosdevices/x:" ] && { echo "the prefix already has a drive X:"; exit 1; }
  drive_x=$work/bin  # linked in the case's own prefix
  mkdir "$work/bin/other"
  run='X:\kestrel.exe' cwd='X:\other'
fi
# The elevation road shows in the relay trace.
[ $program = seam ] && export WINEDEBUG=-all,+relay
# Wine's WTSSendMessageW reports its call on its own debug channel.
driver_flags=()
[ $station = unseen ] && driver_flags=(--unseen) && export WINEDEBUG=-all,+wtsapi
if [ $program = loadbare ]; then
  cp "$loadbare" "$work/bin/loadbare.exe"
  run=$(winpath "$work/bin/loadbare.exe")
fi

# A box road can be reached for the wrong reason (Wine reports an empty
# version as the table's next string): the version Wine reported is read too.
ASK_BOARD=""
[ $wmi = wmi ] && [ -n "$want_boxes$want_sent" ] && ASK_BOARD=yes
export ASK_BOARD DRIVE_X=$drive_x FLEET=$fleet POWER=$power SECOND=$second BIOS=$firmware

in_room bash -c '
  set -e
  fake_board "$1" "$BIOS"
  [ -z "$DRIVE_X" ] || ln -s "$DRIVE_X" "$WINEPREFIX/dosdevices/x:"
  # A battery: Wine reckons its percentage from charge_now against
  # charge_full (both times voltage_now), and reads no capacity.
  battery() {
    mkdir -p /sys/class/power_supply/AC /sys/class/power_supply/BAT0
    echo Mains > /sys/class/power_supply/AC/type; echo "$1" > /sys/class/power_supply/AC/online
    printf "%s\n" Battery > /sys/class/power_supply/BAT0/type; echo "$2" > /sys/class/power_supply/BAT0/status
    echo 1 > /sys/class/power_supply/BAT0/present; echo "$3" > /sys/class/power_supply/BAT0/capacity
    echo 12000000 > /sys/class/power_supply/BAT0/voltage_now; echo 4000000 > /sys/class/power_supply/BAT0/charge_full
    echo $(($3 * 40000)) > /sys/class/power_supply/BAT0/charge_now
  }
  case $POWER in
    battery) battery 0 Discharging 50 ;;
    charge:*) battery 1 Charging "${POWER#charge:}" ;;
    nobattery) mkdir -p /sys/class/power_supply/AC
               echo Mains > /sys/class/power_supply/AC/type; echo 0 > /sys/class/power_supply/AC/online ;;
  esac
  cd "$2"
  with_x bash -c '"'"'
    if [ "$8" = loadbare ]; then
      if wine "$4" dwmapi.dll > /dev/null 2> "$6.err"; then echo exit=0; else echo "exit=$?"; fi > "$6"
    elif [ "$SECOND" = yes ]; then
      # The first run waits on its utility while the second one runs.
      wine "$3" "${@:9}" "$4" "$5" 60 ${FLEET:+"$FLEET"} > "$6.first" 2> "$6.first.err" &
      for _ in $(seq 100); do [ -s "$2/bin/launched.txt" ] && break; sleep 0.1; done
      wine "$3" "${@:9}" "$4" "$5" 60 ${FLEET:+"$FLEET"} > "$6" 2> "$6.err"
      wait
    else
      wine "$3" "${@:9}" "$4" "$5" 60 ${FLEET:+"$FLEET"} > "$6" 2> "$6.err"
    fi
    # The record as it stood when kestrel.exe ended.
    cp "$2/bin/launched.txt" "$2/launched.at-end" 2> /dev/null || :
    # kestrel.exe does not wait for the utility: give it time to record its
    # start before the display and the wineserver go.
    for _ in $(seq "$7"); do [ -s "$2/bin/launched.txt" ] && break; sleep 0.1; done
    # On a box road, the board version as Wine reports it to any program.
    if [ -n "$ASK_BOARD" ]; then
      WINEDEBUG=-all wine wmic baseboard get version 2> /dev/null | iconv -f UTF-16 -t UTF-8 | tr -d "\r" |
        sed -n "2s/ *$//p" > "$2/board.txt"
    fi
  '"'"' _ "$@"
' _ "$version" "$work" "$boxdriver" "$run" "$cwd" "$work/report" \
  "$([ -n "$want_launch" ] && echo 100 || echo 10)" "$program" "${driver_flags[@]}"
room=$?

report=$(tr -d '\r' < "$work/report")
wow64=0
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && wow64=1
want_report=$([ -n "$want_boxes" ] && echo "$want_boxes"; [ $program != loadbare ] && echo "wow64=$wow64"; echo "exit=$want_exit")
launched=$(cat "$work/bin/launched.txt" "$work/cwd/launched.txt" 2> /dev/null | tr -d '\r')
# A waited utility has ended before kestrel.exe did.
[ -n "$ends" ] && launched=$(tr -d '\r' < "$work/launched.at-end" 2> /dev/null)

status=0
[ $room = 0 ] || { echo "FAIL $name: the room did not end clean (status $room)"; status=1; }
if [ -n "$ASK_BOARD" ] && [ "$(cat "$work/board.txt" 2> /dev/null)" != "$version" ]; then
  echo "FAIL $name: Wine reported the board version [$(cat "$work/board.txt" 2> /dev/null)]," \
       "the case laid down [$version]"
  status=1
fi
if [ "$report" != "$want_report" ]; then
  echo "FAIL $name: boxdriver reported"; differ "$want_report" "$report"
  tr -d '\r' < "$work/report.err" | sed 's/^/stderr: /' | head -20
  status=1
fi
if [ "$launched" != "$want_launch" ]; then
  echo "FAIL $name: the utility's record"; differ "$want_launch" "$launched"; status=1
fi
if [ $station = unseen ]; then
  sent_messages=$(sent_messages < "$work/report.err")
  if [ "$sent_messages" != "$want_sent" ]; then
    echo "FAIL $name: sent to the console session"; differ "$want_sent" "$sent_messages"; status=1
  fi
fi
planted_verdict || status=1
if [ -n "$logged" ]; then
  lines=$(log_lines "$log_file" | sed 's/^{\(.*\)}$/\1/')
  [ "$lines" = "$logged" ] || { echo "FAIL $name: the log"; differ "$logged" "$lines"; status=1; }
  # The account's SID beside its name on every line, the same on each.
  sids=$(jq -r '.accountSid' "$log_file" 2> /dev/null | sort -u)
  grep -qxE 'S-1-5(-[0-9]+)+' <<< "$sids" ||
    { echo "FAIL $name: the account's SID [$sids]"; status=1; }
fi
if [ $second = yes ] && [ "$(tr -d '\r' < "$work/report.first")" != "$(printf 'wow64=%s\nexit=0' $wow64)" ]; then
  echo "FAIL $name: the first run reported [$(cat "$work/report.first")]"; status=1
fi
# The elevation road ran: kestrel.exe loaded the shell from System32 only;
# or, where nobody may be asked, it did not take that road at all.
shell_loads=$(tr -d '\r' < "$work/report.err" 2> /dev/null |
  grep -cE 'Call KERNEL32\.LoadLibraryExW\([0-9a-f]+ L"shell32\.dll",00000000,00000800\) ret=004')
if [ $program = seam ] && [ -n "$want_launch" ] && [ "$shell_loads" = 0 ]; then
  echo "FAIL $name: kestrel.exe did not load the shell from System32"; status=1
elif [ $program = seam ] && [ -z "$want_launch" ] && [ "$shell_loads" != 0 ]; then
  echo "FAIL $name: kestrel.exe took the road that asks for consent"; status=1
fi
[ $status = 0 ] && echo "ok   $name"
exit $status
