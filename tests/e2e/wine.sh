#!/usr/bin/env bash
# Runs the real kestrel.exe under Wine and Xvfb with a board version of the
# test's choosing.
#   wine.sh prefix PREFIX win32|win64 [vista]   make a Wine prefix the cases share
#   wine.sh case PREFIX KESTREL BOXDRIVER STANDIN NAME [PLANTED_DLL LOADBARE UNMANIFESTED SEAM]
#                                               one case of the table below
#   wine.sh check PREFIX KESTREL_CHECK PROGRAM VERSION|nowmi [control|map_only|error_icon] [temp] [name=FILE] [dpi=N]
#                                               the release check on a board
#   wine.sh internal PREFIX INTERNALFAIL BOXDRIVER alloc|length
#                                               an internal failure ends with 70
#
# A 32-bit program runs in either prefix: in the 64-bit one under WoW64, as on
# 64-bit Windows. A prefix made with "vista" reports Windows Vista (6.0).
#
# Wine's WMI builds Win32_BaseBoard from /sys/class/dmi/id, so each case runs
# in a private mount namespace with a tmpfs over /sys/class holding every
# attribute Wine reads, and starts a wineserver of its own inside it (Wine's
# WMI answers from processes that server starts). boxdriver.exe starts
# kestrel.exe, reads and closes its message boxes; the stand-in WinPhlash.exe
# records its start, show state and working folder.
set -u
export WINEDEBUG=-all
source "$(dirname "$0")/common.sh"

if [ "$1" = prefix ]; then
  unset KEEP  # nothing of the fixture's own is worth keeping
  export WINEPREFIX=$(realpath -m "$2") WINEARCH=${3:-win32}
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  loader=wine
  [ "$WINEARCH" = win64 ] && loader=/usr/lib/wine/wine64
  # No Mono or Gecko installers: nothing here needs them. The relay trace,
  # when a case turns it on, shows only the calls that set up the DLL search
  # and start COM.
  # Wine has no KnownDLLs key; the prefix gets Windows XP's list, so that
  # the release check reads one, msvcrt among its dependencies only.
  { echo 'Windows Registry Editor Version 5.00'; echo
    echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Session Manager\KnownDLLs]'
    for dll in advapi32 comdlg32 gdi32 imagehlp kernel32 lz32 ole32 oleaut32 olecli32 olecnv32 olesvr32 olethk32 \
               rpcrt4 shell32 url urlmon user32 version wininet wldap32; do echo "\"$dll\"=\"$dll.dll\""; done
  } > "$work/knowndlls.reg"
  WINEDLLOVERRIDES="mscoree,mshtml=" with_x sh -c '"$1" wineboot -i && "$1" reg add "HKCU\Software\Wine\Debug" /v RelayInclude /t REG_SZ /d "$2" /f && "$1" regedit /S "$4" && { [ "$3" != vista ] || "$1" reg add "HKCU\Software\Wine" /v Version /t REG_SZ /d vista /f; }' \
    _ "$loader" "KERNEL32.SetDefaultDllDirectories;KERNEL32.SetDllDirectoryW;KERNEL32.LoadLibraryExW;combase.CoInitializeEx;ole32.CoInitializeEx" "${4:-}" "$(winpath "$work/knowndlls.reg")" > /dev/null 2>&1
  wine_stop
  [ -f "$WINEPREFIX/system.reg" ] || { echo "cannot make the Wine prefix $WINEPREFIX"; exit 1; }
  exit 0
fi

# An internal failure (internalfail.exe alloc|length) ends the program with
# status 70 and shows nothing: no box of the C runtime's own.
if [ "$1" = internal ]; then
  export WINEPREFIX=$(realpath "$2")
  program=$(realpath "$3") boxdriver=$(realpath "$4")
  report=$(with_x wine "$boxdriver" "$(winpath "$program")" "$(winpath "$work")" 60 "$5" 2> /dev/null | tr -d '\r')
  if [ "$report" != "$(printf 'wow64=0\nexit=70')" ]; then
    echo "FAIL internal failure $5: boxdriver reported"; differ "$(printf 'wow64=0\nexit=70')" "$report"; exit 1
  fi
  echo "ok   internal failure $5: no box, exit status 70"; exit 0
fi

# The release check, run as a release engineer would, on a board of the
# test's choosing: every check holds (elevation and the drive root skipped),
# or, for a control gate, the checks it must fail fail:
#   control     loads a planted DLL by bare name: the planted-DLL check fails
#               naming it;
#   map_only    maps it without running its code: the same;
#   error_icon  shows its box with the error icon: every road check fails.
# temp runs it with TEMP and TMP in a folder named "José-固件", name=FILE
# copies the program under that name, dpi=N sets the screen's DPI; these go
# into a copy of the prefix's user registry, bound over it inside the case's
# mount namespace, so the prefix itself never changes.
if [ "$1" = check ]; then
  export WINEPREFIX=$(realpath "$2")
  tool=$(realpath "$3") program=$(realpath "$4") version=$5
  shift 5
  kind=kestrel temp=no name=kestrel.exe dpi=""
  for option; do
    case $option in
      control|map_only|error_icon) kind=$option ;;
      temp) temp=yes ;;
      name=*) name=${option#name=} ;;
      dpi=*) dpi=${option#dpi=} ;;
      *) echo "wine.sh check: unknown option $option"; exit 64 ;;
    esac
  done
  if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then echo "SKIP: needs root and mount namespaces"; exit 77; fi
  mkdir -p "$work/release"
  cp "$tool" "$work/release/kestrel-check.exe"
  cp "$program" "$work/release/$name"
  [ "$version" = nowmi ] && export WINEDLLOVERRIDES="wbemprox=d" && version=34B
  settings=()
  if [ $temp = yes ]; then
    mkdir "$work/José-固件"
    settings+=("HKCU\\Environment|TEMP|REG_SZ|$(winpath "$work/José-固件")" "HKCU\\Environment|TMP|REG_SZ|$(winpath "$work/José-固件")")
  fi
  [ -n "$dpi" ] && settings+=("HKCU\\Control Panel\\Desktop|LogPixels|REG_DWORD|$dpi")
  cp "$WINEPREFIX/user.reg" "$work/user.reg"
  wine_stop
  LANG=C.UTF-8 unshare -m bash -c 'source "$1"; fake_board "$2"; cd "$3"
    mount --bind "$4" "$WINEPREFIX/user.reg"
    # The settings and the run under one display: a Wine desktop made
    # before Xvfb would have none.
    with_x bash -c '"'"'
      for setting in "${@:2}"; do
        IFS="|" read -r key value type data <<< "$setting"
        wine reg add "$key" /v "$value" /t "$type" /d "$data" /f > /dev/null 2>&1
      done
      wine kestrel-check.exe "$1" > report 2> report.err; echo $? > status'"'"' _ "${@:5}"' _ "$(dirname "$0")/fake_board.sh" "$version" "$work/release" \
    "$work/user.reg" "$name" "${settings[@]}"
  report=$(tr -d '\r' < "$work/release/report")
  echo "$report"
  names=$(sed -n 's/^planted DLL names: //p' <<< "$report")
  check "planted DLL names counted" "$([ "${names:-0}" -gt 100 ] && echo many)" "many"
  check "the static imports read against KnownDLLs" "$(grep -c '^held     static imports: ' <<< "$report")" 1
  check "elevation skipped" "$(grep -c '^skipped  elevation: ' <<< "$report")" 1
  check "the drive letter skipped: Wine reaches drives through dosdevices only" \
    "$(grep -c '^skipped  root of a drive: the stage cannot be reached through ' <<< "$report")" 1
  check "the control gate's load seen" "$(grep -c '^control: .* was seen$' <<< "$report")" 1
  failed=$(grep '^FAILED' <<< "$report")
  case $kind in
    control|map_only)
      check "exit status" "$(cat "$work/release/status")" 1
      check "only the planted DLLs fail, naming the DLL" \
        "$(grep -cE '^FAILED   planted DLLs: planted DLL loaded: [^;]*\\planted\\bin\\dwmapi\.dll;' <<< "$failed")/$(grep -c . <<< "$failed")" "1/1"
      check "closing line" "$(tail -1 <<< "$report")" "4 passed, 1 failed" ;;
    error_icon)
      check "exit status" "$(cat "$work/release/status")" 1
      check "the box read whole, its icon not the warning icon" "$(grep -cxF 'FAILED   road: the wrong-model road expected; box "WinPhlash": "This BIOS is not for your Notebook PC."; exit status 2; utility not started' <<< "$failed")" 1
      check "every road check fails on the icon" \
        "$(grep -cE '^FAILED   (road|planted DLLs|planted manifest|hidden start): the wrong-model road expected; ' <<< "$failed")" 4
      check "closing line" "$(tail -1 <<< "$report")" "1 passed, 4 failed" ;;
    *)
      check "exit status" "$(cat "$work/release/status")" 0
      check "every check held" "$(grep -cE '^held     (road|planted DLLs|planted manifest|hidden start): ' <<< "$report")" 4
      check "closing line" "$(tail -1 <<< "$report")" "5 passed, 0 failed" ;;
  esac
  # Paths and names outside ASCII come through whole.
  if [ $temp = yes ]; then
    check "the scratch folder named whole" "$(grep -v '^note: ' <<< "$report" | grep -c 'José-固件')" 1
  fi
  [ "$name" != kestrel.exe ] &&
    check "the program named whole" "$(grep '^kestrel-check: checking ' <<< "$report" | grep -cF "\\$name")" 1
  summary; exit
fi

[ "$1" = case ] || { sed -n '/^#   wine.sh /,/^#$/p' "$0" | sed 's/^# \{0,1\}//; /^$/d; 1s/^/usage:\n/' >&2; exit 64; }
export WINEPREFIX=$(realpath "$2")
kestrel=$(realpath "$3") boxdriver=$(realpath "$4") standin=$(realpath "$5") name=$6
planted=${7:+$(realpath "$7")} loadbare=${8:+$(realpath "$8")} unmanifested=${9:+$(realpath "$9")}
seam=${10:+$(realpath "${10}")}
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
  echo "SKIP: needs root and mount namespaces"; exit 77
fi

privilege="You must be logged in with administrator privilege in order to update the system BIOS.  The system BIOS will not be updated."
wrong="This BIOS is not for your Notebook PC."

# Each case: board version, where WinPhlash.exe lies (beside|cwd|none),
# whether WMI is on (wmi|nowmi), then what boxdriver must report and what
# the stand-in must have recorded. A planted case (plant=yes) also puts a DLL
# that records its loading beside kestrel.exe and in the current folder under
# the names of system DLLs that programs load by bare name; its control runs
# a program that loads one of them as an unguarded program would. A manifest
# case (plant=manifest) puts beside the program a manifest that sends the
# management objects' COM class into a planted DLL (and, with local=yes, a
# kestrel.exe.local folder holding the planted DLLs). program=unmanifested
# runs a kestrel.exe built without the embedded manifest, as Windows XP
# reads it when a manifest lies beside it; program=seam one whose plain start
# answers "elevation required" once, so that the utility starts through the
# shell. station=unseen starts the program on a window station nobody sees:
# no box may wait there, the message goes to the console session instead.
# place=root puts the program and the utility at the root of drive X: (a
# folder of the case's, linked into the prefix's dosdevices) and starts it
# from X:\other, as from the root of a USB stick.
plant=no program=kestrel local=no station=seen place=folder
# What each case must end in. Wherever the program was started from, the
# utility starts in its own folder.
launches() { want_boxes="" want_exit=0 want_launch="started usestartup=1 show=1 args=[] cwd=$(winpath "$work/bin") errormode=0"
              [ $place = root ] && want_launch=${want_launch/cwd=* /cwd=X:\\ }; }
box() { want_boxes="box caption=$1 text=$2 icon=1 buttons=1" want_exit=$3 want_launch=""; }
nothing() { want_boxes="" want_exit=$1 want_launch=""; }
# On an unseen station: no box, the same title, text and style sent to the
# active console session without waiting, and the road's status.
sent() { want_boxes="" want_exit=$3 want_launch="" want_sent="$1|$2|48|nowait"; }
want_sent=""
# Each case names the prefixes it runs in (the fixtures of
# tests/windows/windows.cmake, which reads this table), or "signing" for a
# case that only the signing test runs.
on() { :; }
case $name in
  accepted)              on signing;               version=34B utility=beside wmi=wmi; launches ;;
  wrong_model)           on signing;               version=12B utility=beside wmi=wmi; box WinPhlash "$wrong" 2 ;;
  utility_absent)        on wine winevista;        version=34B utility=none wmi=wmi; nothing 3 ;;
  utility_in_cwd)        on wine winevista wine64; version=34B utility=cwd wmi=wmi; nothing 3 ;;
  planted_launch)        on wine winevista;        version=34B utility=beside wmi=wmi plant=yes; launches ;;
  planted_wrong_model)   on wine winevista;        version=12B utility=beside wmi=wmi plant=yes; box WinPhlash "$wrong" 2 ;;
  planted_control)       on wine winevista;        version=12B utility=none wmi=wmi plant=yes program=loadbare; nothing 0 ;;
  manifest_local_launch) on wine;                  version=34B utility=beside wmi=wmi plant=manifest local=yes; launches ;;
  # Where the planted manifest governs, the board is not read through it.
  manifest_refused)      on wine;                  version=34B utility=beside wmi=wmi plant=manifest program=unmanifested
                                                   box WinFlash "$privilege" 1 ;;
  unmanifested_launch)   on wine;                  version=34B utility=beside wmi=wmi program=unmanifested; launches ;;
  elevation_seam)        on winevista;             version=34B utility=beside wmi=wmi plant=yes program=seam; launches ;;
  unseen_launch)         on wine;                  version=34B utility=beside wmi=wmi station=unseen; launches ;;
  unseen_wrong_model)    on wine;                  version=12B utility=beside wmi=wmi station=unseen; sent WinPhlash "$wrong" 2 ;;
  unseen_no_wmi)         on wine;                  version=34B utility=beside wmi=nowmi station=unseen; sent WinFlash "$privilege" 1 ;;
  root_launch)           on wine winevista;        version=34B utility=beside wmi=wmi place=root; launches ;;
  root_elevation_seam)   on winevista;             version=34B utility=beside wmi=wmi place=root program=seam; launches ;;
  *) echo "no such case: $name"; exit 64 ;;
esac
if { [ $plant != no ] || [ $program != kestrel ]; } && [ -z "$seam" ]; then
  echo "usage: the planted cases need PLANTED_DLL, LOADBARE, UNMANIFESTED and SEAM"; exit 64
fi
# The prefix reports Vista: the System32-only search is not asked for there,
# and the system DLLs are loaded by full path instead.
vista=no
grep -qi '^"Version"="vista"' "$WINEPREFIX/user.reg" 2> /dev/null && vista=yes

mkdir -p "$work/bin" "$work/cwd"
case $program in
  unmanifested) cp "$unmanifested" "$work/bin/kestrel.exe" ;;
  seam) cp "$seam" "$work/bin/kestrel.exe" ;;
  *) cp "$kestrel" "$work/bin/kestrel.exe" ;;
esac
case $utility in
  beside) cp "$standin" "$work/bin/WinPhlash.exe" ;;
  cwd) cp "$standin" "$work/cwd/WinPhlash.exe" ;;
esac
[ $wmi = nowmi ] && export WINEDLLOVERRIDES="wbemprox=d"
planted_names="version uxtheme dwmapi cryptbase cryptsp propsys profapi comres userenv winmm dbghelp secur32 wbemcomn
  fastprox msctf wtsapi32 netapi32 iphlpapi dnsapi sspicli bcrypt ntmarta shfolder linkinfo ntshrui srvcli
  cscapi apphelp clbcatq rsaenh wininet winhttp mpr netutils samcli samlib wkscli dpapi crypt32 msasn1
  wintrust imagehlp oleacc riched20 comctl32 shell32 shlwapi setupapi cfgmgr32 devobj powrprof wldp"
if [ $plant = yes ]; then
  for dll in $planted_names; do cp "$planted" "$work/bin/$dll.dll"; cp "$planted" "$work/cwd/$dll.dll"; done
  export PLANT_LOG=$(winpath "$work/plant.log") WINEDEBUG=-all,+relay
fi
if [ $plant = manifest ]; then
  cat > "$work/bin/kestrel.exe.manifest" <<'MANIFEST'
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
 <assemblyIdentity type="win32" name="Any.Name" version="1.0.0.0" processorArchitecture="x86"/>
 <file name="wmiplant.dll"><comClass clsid="{172BDDF8-CEEA-11D1-8B05-00600806D9B6}" threadingModel="Apartment" progid="winmgmts"/></file>
</assembly>
MANIFEST
  cp "$planted" "$work/bin/wmiplant.dll"
  if [ $local = yes ]; then
    mkdir "$work/bin/kestrel.exe.local"
    for dll in wmiplant $planted_names; do cp "$planted" "$work/bin/kestrel.exe.local/$dll.dll"; done
  fi
  export PLANT_LOG=$(winpath "$work/plant.log")
fi
run=$(winpath "$work/bin/kestrel.exe") cwd=$(winpath "$work/cwd")
if [ $place = root ]; then
  [ -e "$WINEPREFIX/dosdevices/x:" ] && { echo "the prefix already has a drive X:"; exit 1; }
  ln -s "$work/bin" "$WINEPREFIX/dosdevices/x:"
  at_exit='rm -f "$WINEPREFIX/dosdevices/x:"'
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

# No wineserver of this prefix may outlive into the namespace from outside it.
wine_stop
# A box road can be reached for the wrong reason (Wine reports an empty
# version as the table's next string): the version Wine reported is read too.
ASK_BOARD=""
[ $wmi = wmi ] && [ -n "$want_boxes$want_sent" ] && ASK_BOARD=yes
export ASK_BOARD

unshare -m bash -c '
  set -e
  source "$8"
  fake_board "$1"
  cd "$2"
  with_x bash -c '"'"'
    if [ "$9" = loadbare ]; then
      if wine "$4" dwmapi.dll > /dev/null 2> "$6.err"; then echo exit=0; else echo "exit=$?"; fi > "$6"
    else
      wine "$3" "${@:10}" "$4" "$5" 60 > "$6" 2> "$6.err"
    fi
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
  "$([ -n "$want_launch" ] && echo 100 || echo 10)" "$(cd "$(dirname "$0")" && pwd)/fake_board.sh" "$program" \
  "${driver_flags[@]}"

report=$(tr -d '\r' < "$work/report")
wow64=0
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && wow64=1
want_report=$([ -n "$want_boxes" ] && echo "$want_boxes"; [ $program != loadbare ] && echo "wow64=$wow64"; echo "exit=$want_exit")
launched=$(cat "$work/bin/launched.txt" "$work/cwd/launched.txt" 2> /dev/null | tr -d '\r')

status=0
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
  # Each message as caption|text|style|wait, from the stub's report:
  # WTSSendMessageW Stub SERVER SESSION (L"CAPTION") BYTES (L"TEXT") BYTES STYLE TIMEOUT RESPONSE WAIT.
  sent_messages=$(tr -d '\r' < "$work/report.err" | sed -nE \
    's/.*WTSSendMessageW Stub 00000000 0x[0-9a-f]+ \(L"(.*)"\) [0-9]+ \(L"(.*)"\) [0-9]+ 0x([0-9a-f]+) 0 [0-9A-F]+ 0$/\1|\2|\3|nowait/p' |
    while IFS='|' read -r caption text style wait; do echo "$caption|$text|$((16#$style))|$wait"; done)
  if [ "$sent_messages" != "$want_sent" ]; then
    echo "FAIL $name: sent to the console session"; differ "$want_sent" "$sent_messages"; status=1
  fi
fi
if [ $plant = manifest ]; then
  loads=$(cat "$work/plant.log" 2> /dev/null | tr -d '\r' | sort -u)
  want_loads=""
  if [ "$loads" != "$want_loads" ]; then
    echo "FAIL $name: planted DLLs loaded [$loads], wanted [$want_loads]"; status=1
  fi
fi
if [ $plant = yes ]; then
  loads=$(cat "$work/plant.log" 2> /dev/null | tr -d '\r')
  if [ $program = loadbare ]; then
    # The control: the check sees a DLL loaded from beside the program.
    want_loads="loaded $(winpath "$work/bin/dwmapi.dll") into $(winpath "$work/bin/loadbare.exe")"
  else
    want_loads=""
    # The DLL search is restricted, and only then COM starts, on kestrel's
    # thread: its calls in the relay trace up to CoInitializeEx, in order,
    # a library load shown by its path when kestrel.exe made it. The thread
    # is named by its hexadecimal id, compared as text: "00e0" read as a
    # number is zero.
    order=$(tr -d '\r' < "$work/report.err" | awk '
      /Call KERNEL32\.(SetDefaultDllDirectories|SetDllDirectoryW)\(/ && tid == "" { split($0, f, ":"); tid = f[1] }
      tid != "" && !done && index($0, tid ":") == 1 && /Call / && match($0, /(SetDefaultDllDirectories|SetDllDirectoryW|LoadLibraryExW|CoInitializeEx)\(/) {
        call = substr($0, RSTART, RLENGTH - 1)
        if (call == "SetDefaultDllDirectories" && $0 !~ /\(00000800\)/) call = call "(not System32 only)"
        if (call == "SetDllDirectoryW" && $0 !~ /L""/) call = call "(not empty)"
        if (call == "LoadLibraryExW") {
          if ($0 !~ / ret=004/) next
          match($0, /L"[^"]*",[0-9a-f]*,[0-9a-f]*/); call = substr($0, RSTART, RLENGTH)
        }
        if (call == "CoInitializeEx") done = 1
        printf "%s\n", call
      }')
    want_order="SetDefaultDllDirectories
SetDllDirectoryW
CoInitializeEx"
    if [ $vista = yes ]; then
      # No System32-only search on Vista; each DLL of the list loaded by its
      # full System32 path, its own imports looked for beside it (flag 8).
      want_order="SetDllDirectoryW
$(for dll in uxtheme dwmapi cryptbase msctf version wbemcomn clbcatq ntmarta userenv setupapi apphelp propsys oleacc \
           comres profapi; do
    printf 'L"C:\\\\windows\\\\system32\\\\%s.dll",00000000,00000008\n' $dll; done)
CoInitializeEx"
    fi
    if [ "$order" != "$want_order" ]; then
      echo "FAIL $name: the calls before COM"; differ "$want_order" "$order"; status=1
    fi
  fi
  if [ "$loads" != "$want_loads" ]; then
    echo "FAIL $name: planted DLLs loaded [$loads], wanted [$want_loads]"; status=1
  fi
fi
# The elevation road ran: kestrel.exe loaded the shell from System32 only.
if [ $program = seam ] && ! tr -d '\r' < "$work/report.err" |
    grep -qE 'Call KERNEL32\.LoadLibraryExW\([0-9a-f]+ L"shell32\.dll",00000000,00000800\) ret=004'; then
  echo "FAIL $name: kestrel.exe did not load the shell from System32"; status=1
fi
[ $status = 0 ] && echo "ok   $name"
exit $status
