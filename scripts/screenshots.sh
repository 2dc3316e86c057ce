#!/usr/bin/env bash
# Screenshots of the three forms and of the gate's two message boxes, as
# Wine shows them in a virtual desktop under Xvfb, into docs/screenshots/.
# As root (the message boxes need a private mount namespace for the board).
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh all shots
cmake --preset windows > /dev/null
cmake --build --preset windows -j "$(nproc)" --target kestrel formsdemo formsprobe > /dev/null

out=$PWD/docs/screenshots
mkdir -p "$out"
export WINEPREFIX=$PWD/build/shots/wineprefix WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  bash tests/e2e/prefix.sh "$WINEPREFIX" win32
  fonts='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
  # The interface font as Windows has it: Tahoma, here Wine's own from
  # Debian's fonts-wine, for MS Shell Dlg and MS Shell Dlg 2 too. Chinese
  # text falls back through font linking, as on Windows, to a Traditional
  # Chinese font that Debian ships. The title-bar buttons are glyphs of the
  # Marlett font, from fonts-wine as well.
  for font in tahoma.ttf tahomabd.ttf marlett.ttf; do cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"; done
  {
    wine reg add "$fonts\Fonts" /v 'Tahoma (TrueType)' /d tahoma.ttf /f
    wine reg add "$fonts\Fonts" /v 'Tahoma Bold (TrueType)' /d tahomabd.ttf /f
    wine reg add "$fonts\Fonts" /v 'Marlett (TrueType)' /d marlett.ttf /f
    wine reg add "$fonts\FontSubstitutes" /v 'MS Shell Dlg' /d Tahoma /f
    wine reg add "$fonts\FontSubstitutes" /v 'MS Shell Dlg 2' /d Tahoma /f
    for face in Tahoma 'Tahoma Bold' 'MS Shell Dlg' 'MS Shell Dlg 2'; do
      wine reg add "$fonts\FontLink\SystemLink" /v "$face" /t REG_MULTI_SZ /d 'uming.ttc,AR PL UMing TW' /f
    done
  } > /dev/null 2>&1
  wineserver -k 2> /dev/null; wineserver -w
fi
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# shot NAME WIDTHxHEIGHT COMMAND...: runs COMMAND in a virtual desktop of that
# size and captures the desktop once $work/ready exists (or after 8 s).
shot() {
  local name=$1 size=$2; shift 2
  rm -f "$work/ready" "$work/done"
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    wine explorer /desktop=shots,"$1" "${@:4}" > /dev/null 2>&1 &
    for _ in $(seq 80); do [ -e "$2/ready" ] && break; sleep 0.1; done
    sleep 1
    import -window root -crop "$1+0+0" +repage "$3"
    touch "$2/done"
    wineserver -k 2> /dev/null
  ' _ "$size" "$work" "$out/$name.png" "$@"
  echo "$out/$name.png"
}

probe=build/windows/tests/formsprobe.exe
demo=$(winpath "$PWD/build/windows/formsdemo.exe")
ready=$(winpath "$work/ready") done=$(winpath "$work/done")
shot logo 400x280 "$probe" "$demo" logo signal "$ready" await "$done"
# Each window active, as a user sees it when working in it.
shot login 440x240 "$probe" "$demo" login type tarn key TAB type secret activate signal "$ready" await "$done"
shot login-message 440x240 "$probe" "$demo" login key RETURN signal "$ready" await "$done"
shot main 480x320 "$probe" "$demo" main activate signal "$ready" await "$done"

# The gate's message boxes, kestrel.exe itself, on a board that Wine reports.
# The probe starts it (the argument after it is ignored: kestrel.exe reads no
# command line) and activates its box, as a double click would leave it: Wine
# shows a box that was activated before it was shown with an inactive caption.
mkdir -p "$work/bin" && cp build/windows/kestrel.exe "$work/bin/"
kestrel=$(winpath "$work/bin/kestrel.exe")
export -f shot; export work out
unshare -m bash -c 'source tests/e2e/fake_board.sh && fake_board 12B &&
  shot wrong-model 420x160 "${@:2}"' _ "$probe" "$probe" "$kestrel" - deactivate activate signal "$ready" \
  await "$done"
WINEDLLOVERRIDES=wbemprox=d unshare -m bash -c 'source tests/e2e/fake_board.sh && fake_board 34B &&
  shot privilege 720x160 "${@:2}"' _ "$probe" "$probe" "$kestrel" - deactivate activate signal "$ready" \
  await "$done"
