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
  bash tests/e2e/wine.sh prefix "$WINEPREFIX"
  # Chinese text in the window captions and controls: the interface font
  # falls back to a Traditional Chinese font that Debian ships.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Tahoma /d 'AR PL UMing TW' /f > /dev/null 2>&1
  wineserver -w
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
shot login 440x240 "$probe" "$demo" login type tarn key TAB type secret signal "$ready" await "$done"
shot login-message 440x240 "$probe" "$demo" login key RETURN signal "$ready" await "$done"
shot main 480x320 "$probe" "$demo" main signal "$ready" await "$done"

# The gate's message boxes, kestrel.exe itself, on a board that Wine reports.
mkdir -p "$work/bin" && cp build/windows/kestrel.exe "$work/bin/"
export -f shot; export work out
unshare -m bash -c 'source tests/e2e/fake_board.sh && fake_board 12B && shot wrong-model 420x160 "$1"' _ \
  "$work/bin/kestrel.exe"
WINEDLLOVERRIDES=wbemprox=d unshare -m bash -c 'source tests/e2e/fake_board.sh && fake_board 34B &&
  shot privilege 720x160 "$1"' _ "$work/bin/kestrel.exe"
