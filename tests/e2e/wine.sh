#!/usr/bin/env bash
# Runs the real kestrel.exe under Wine and Xvfb with a board version of the
# test's choosing.
#   wine.sh prefix PREFIX                        make the Wine prefix the cases share
#   wine.sh case PREFIX KESTREL BOXDRIVER STANDIN NAME
#
# Wine's WMI builds Win32_BaseBoard from /sys/class/dmi/id, so each case runs
# in a private mount namespace with a tmpfs over /sys/class holding every
# attribute Wine reads, and starts a wineserver of its own inside it (Wine's
# WMI answers from processes that server starts). boxdriver.exe starts
# kestrel.exe, reads and closes its message boxes; the stand-in WinPhlash.exe
# records its start and show state.
set -u
export WINEDEBUG=-all

if [ "$1" = prefix ]; then
  export WINEPREFIX=$(realpath -m "$2")
  mkdir -p "$(dirname "$WINEPREFIX")"
  # No Mono or Gecko installers: nothing here needs them.
  WINEDLLOVERRIDES="mscoree,mshtml=" xvfb-run -a wineboot -i > /dev/null 2>&1
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || { echo "cannot make the Wine prefix $WINEPREFIX"; exit 1; }
  exit 0
fi

[ "$1" = case ] || { echo "usage: wine.sh prefix PREFIX | case PREFIX KESTREL BOXDRIVER STANDIN NAME"; exit 64; }
export WINEPREFIX=$(realpath "$2")
kestrel=$(realpath "$3") boxdriver=$(realpath "$4") standin=$(realpath "$5") name=$6
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
  echo "SKIP: needs root and mount namespaces"; exit 77
fi

privilege="You must be logged in with administrator privilege in order to update the system BIOS.  The system BIOS will not be updated."
wrong="This BIOS is not for your Notebook PC."

# Each case: board version, where WinPhlash.exe lies (beside|cwd|none),
# whether WMI is on (wmi|nowmi), then what boxdriver must report and what
# the stand-in must have recorded.
case $name in
  accepted)       version=34B utility=beside wmi=wmi
                  want_boxes="" want_exit=0 want_launch="started usestartup=1 show=1 args=[]" ;;
  wrong_model)    version=12B utility=beside wmi=wmi
                  want_boxes="box caption=WinPhlash text=$wrong icon=1 buttons=1" want_exit=2 want_launch="" ;;
  utility_absent) version=34B utility=none wmi=wmi want_boxes="" want_exit=3 want_launch="" ;;
  utility_in_cwd) version=34B utility=cwd wmi=wmi want_boxes="" want_exit=3 want_launch="" ;;
  no_wmi)         version=34B utility=beside wmi=nowmi
                  want_boxes="box caption=WinFlash text=$privilege icon=1 buttons=1" want_exit=1 want_launch="" ;;
  *) echo "no such case: $name"; exit 64 ;;
esac

work=$(mktemp -d); [ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/cwd"
cp "$kestrel" "$work/bin/kestrel.exe"
case $utility in
  beside) cp "$standin" "$work/bin/WinPhlash.exe" ;;
  cwd) cp "$standin" "$work/cwd/WinPhlash.exe" ;;
esac
[ $wmi = nowmi ] && export WINEDLLOVERRIDES="wbemprox=d"

# No wineserver of this prefix may outlive into the namespace from outside it.
wineserver -k 2> /dev/null; wineserver -w

unshare -m bash -c '
  set -e
  source "$8"
  fake_board "$1"
  cd "$2"
  # Windows paths through drive Z:, without winepath: a Wine process started
  # before Xvfb would make a desktop with no display.
  winpath() { printf "Z:%s" "$1" | tr / "\\\\"; }
  xvfb-run -a wine "$3" "$(winpath "$4")" "$(winpath "$5")" 60 > "$6" 2> "$6.err"
  # kestrel.exe does not wait for the utility: give it time to record its
  # start before this namespace and its wineserver go.
  for _ in $(seq "$7"); do [ -s "$2/bin/launched.txt" ] && break; sleep 0.1; done
  wineserver -k 2> /dev/null; wineserver -w
' _ "$version" "$work" "$boxdriver" "$work/bin/kestrel.exe" "$work/cwd" "$work/report" \
  "$([ -n "$want_launch" ] && echo 100 || echo 10)" "$(cd "$(dirname "$0")" && pwd)/fake_board.sh"

report=$(tr -d '\r' < "$work/report")
want_report=$([ -n "$want_boxes" ] && echo "$want_boxes"; echo "exit=$want_exit")
launched=$(cat "$work/bin/launched.txt" "$work/cwd/launched.txt" 2> /dev/null | tr -d '\r')

status=0
if [ "$report" != "$want_report" ]; then
  echo "FAIL $name: boxdriver reported"; echo "$report"; echo "--- wanted"; echo "$want_report"
  sed 's/^/stderr: /' "$work/report.err" | head -20
  status=1
fi
if [ "$launched" != "$want_launch" ]; then
  echo "FAIL $name: launched [$launched], wanted [$want_launch]"; status=1
fi
[ $status = 0 ] && echo "ok   $name"
exit $status
