#!/usr/bin/env bash
# Makes a Wine prefix that the cases share, each through an overlay of its
# own (in_room in common.sh): nothing a case does reaches it.
#   prefix.sh PREFIX win32|win64 [vista]
# A 32-bit program runs in either prefix: in the 64-bit one under WoW64, as on
# 64-bit Windows. A prefix made with "vista" reports Windows Vista (6.0).
set -u
export WINEDEBUG=-all
source "$(dirname "$0")/common.sh"
[ $# -ge 2 ] || { sed -n 's/^#   //p' "$0" | sed '1s/^/usage: /' >&2; exit 64; }
unset KEEP  # nothing of the fixture's own is worth keeping
export WINEPREFIX=$(realpath -m "$1") WINEARCH=$2
# Wine keeps its server's folder in the temporary folder: this script's own.
export TMPDIR=$work
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
loader=wine
[ "$WINEARCH" = win64 ] && loader=/usr/lib/wine/wine64
# No Mono or Gecko installers: nothing here needs them. The relay trace, when
# a case turns it on, shows only the calls that set up the DLL search and
# start COM.
# Wine has no KnownDLLs key; the prefix gets Windows XP's list, so that the
# release check reads one, msvcrt among its dependencies only. Wine's menu
# builder, which each start of a prefix runs to look for programs to put in
# a Linux desktop's menus, is off: a fifth of a case's start (0.15 of 0.75
# processor seconds), for menus nobody sees. So are, until something asks
# for them, the services that nothing here uses (the network's drivers, the
# event log, Plug and Play): 0.1 processor seconds more a start.
{ echo 'Windows Registry Editor Version 5.00'; echo
  echo '[HKEY_CURRENT_USER\Software\Wine\DllOverrides]'; echo '"winemenubuilder.exe"=""'; echo
  for service in NDIS nsiproxy Eventlog PlugPlay; do
    echo "[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\\$service]"; echo '"Start"=dword:00000003'; echo
  done
  echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Session Manager\KnownDLLs]'
  for dll in advapi32 comdlg32 gdi32 imagehlp kernel32 lz32 ole32 oleaut32 olecli32 olecnv32 olesvr32 olethk32 \
             rpcrt4 shell32 url urlmon user32 version wininet wldap32; do echo "\"$dll\"=\"$dll.dll\""; done
} > "$work/knowndlls.reg"
WINEDLLOVERRIDES="mscoree,mshtml=" with_x sh -c '"$1" wineboot -i && "$1" reg add "HKCU\Software\Wine\Debug" /v RelayInclude /t REG_SZ /d "$2" /f && "$1" regedit /S "$4" && { [ "$3" != vista ] || "$1" reg add "HKCU\Software\Wine" /v Version /t REG_SZ /d vista /f; }' \
  _ "$loader" "KERNEL32.SetDefaultDllDirectories;KERNEL32.SetDllDirectoryW;KERNEL32.LoadLibraryExW;combase.CoInitializeEx;ole32.CoInitializeEx" "${3:-}" "$(winpath "$work/knowndlls.reg")" > "$work/made.log" 2>&1
made=$?
wine_stop
# Every step must have been taken: a prefix that lacks the KnownDLLs list or
# the relay settings would fail the cases that read them, far from here;
# one without the menu builder off costs every case its time.
if [ $made != 0 ] || ! grep -q 'KnownDLLs' "$WINEPREFIX/system.reg" 2> /dev/null ||
   ! grep -q 'RelayInclude' "$WINEPREFIX/user.reg" 2> /dev/null ||
   ! grep -q 'winemenubuilder' "$WINEPREFIX/user.reg" 2> /dev/null; then
  echo "cannot make the Wine prefix $WINEPREFIX (status $made):"; tail -30 "$work/made.log"; exit 1
fi
