#!/usr/bin/env bash
# Drives formsdemo.exe's real windows under Wine and Xvfb through formsprobe.exe
# and compares what it reports with what the forms must show (at 96 dots per
# inch: 15 twips to the pixel).
# A case named fail_FORM_STEP opens the form with that call of the forms
# failing, through boxdriver.exe, and checks the run-time error's box and
# exit status.
#   forms.sh PREFIX FORMSDEMO FORMSPROBE LOGO_JPEG CASE [BOXDRIVER]
set -u
export WINEPREFIX=$(realpath "$1") WINEDEBUG=-all
demo=$(realpath "$2") probe=$(realpath "$3") logo=$(realpath "$4") name=$5 boxdriver=${6:+$(realpath "$6")}
source "$(dirname "$0")/common.sh"
if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then echo "SKIP: needs root and mount namespaces"; exit 77; fi

login_layout="\
form class=#32770 caption=登入 client=297x110 centred=yes
form titlebar=1 sysmenu=1 minbox=0 maxbox=0 sizable=0 taskbar=0
control id=103 class=Static rect=8,8,104,21 text=使用者名稱(&U):
control id=101 class=Edit rect=120,9,155,23 tabstop text=
control id=104 class=Static rect=8,40,72,18 text=密碼(&P):
control id=102 class=Edit rect=120,35,155,23 tabstop password=* text=
control id=1 class=Button rect=104,72,68,26 tabstop default text=確定
control id=2 class=Button rect=208,72,68,26 tabstop text=取消"
name_box="box caption=tarn text=請輸入使用者名稱! icon=0 buttons=1"
password_box="box caption=tarn text=請輸入密碼! icon=0 buttons=1"
paragraph='標誌表單與登入對話方塊都已通過，現在開啟的是主表單。\r\n啟動程序 Main 此時已執行完它所有的敘述，\r\n但程式並未結束，因為主表單仍然載入著。\r\n當您關閉主表單時，程式便會結束，\r\n因為那時程式已沒有任何部分在執行，\r\n也沒有任何部分在等待事件。\r\n'

# Each case: the form, the probe's commands, what the probe must print.
case $name in
  login_layout) form=login
    commands=(geometry focus caption signal "$(winpath "$work/ready")" await "$(winpath "$work/shot")")
    want="$login_layout
focus=101
caption=active" ;;
  login_empty_both) form=login; commands=(key RETURN box expect-focus 101 focus)
    want="$name_box
focus=101
focus=101" ;;
  login_empty_password) form=login; commands=(type ann key RETURN box expect-focus 102)
    want="$password_box
focus=102" ;;
  login_empty_name) form=login; commands=(key ALT+P type pw key RETURN box expect-focus 101)
    want="$name_box
focus=101" ;;
  login_confirm_blanks) form=login; commands=(type " " key TAB type " " key RETURN wait-exit)
    want="bOK=-1
exit=0" ;;
  login_enter_in_password) form=login; commands=(type ann key ALT+P expect-focus 102 type pw key RETURN wait-exit)
    want="focus=102
bOK=-1
exit=0" ;;
  login_escape) form=login; commands=(type ann key TAB type pw key ESCAPE wait-exit)
    want="bOK=0
exit=0" ;;
  login_buttons) form=login; commands=(click 1 box type ann key TAB type pw click 2 wait-exit)
    want="$name_box
bOK=0
exit=0" ;;
  login_ok_button) form=login; commands=(type ann key TAB type pw click 1 wait-exit)
    want="bOK=-1
exit=0" ;;
  login_close_box) form=login; commands=(type ann key TAB type pw close wait-exit)
    want="bOK=0
exit=0" ;;
  login_access_keys) form=login; commands=(key ALT+P expect-focus 102 key ALT+U expect-focus 101)
    want="focus=102
focus=101" ;;
  login_tab_order) form=login
    commands=(key TAB expect-focus 102 key TAB expect-focus 1 key TAB expect-focus 2 key TAB expect-focus 101)
    want="focus=102
focus=1
focus=2
focus=101" ;;
  logo_layout) form=logo
    commands=(geometry signal "$(winpath "$work/ready")" await "$(winpath "$work/shot")" close wait-exit)
    want="form class=KestrelLogo caption= client=227x184 centred=yes
form titlebar=0 sysmenu=0 minbox=0 maxbox=0 sizable=0 taskbar=0
picture=same
exit=0" ;;
  main_layout) form=main; commands=(geometry close wait-exit)
    want="form class=KestrelMain caption=主表單 client=352x216 centred=yes
form titlebar=1 sysmenu=1 minbox=1 maxbox=1 sizable=1 taskbar=1
control id=201 class=Edit rect=8,8,337,201 tabstop multiline hscroll vscroll text=$paragraph
Text1 font face=新細明體 points=12 weight=400 italic=0 underline=0 strikeout=0 charset=136
exit=0" ;;
  main_focus) form=main
    # Text1 has the focus when the form is shown, and again when the form is
    # activated after another window was.
    commands=(expect-focus 201 type a expect-text 201 a deactivate focus activate expect-focus 201 type b
              expect-text 201 ab close wait-exit)
    want="focus=201
text=a
focus=0
focus=201
text=ab
Text1 font face=新細明體 points=12 weight=400 italic=0 underline=0 strikeout=0 charset=136
exit=0" ;;
  fail_*)
    IFS=_ read -r _ form step <<< "$name"
    case $form/$step in
      main/window) what="frmMain: CreateWindowExW" code=8 ;;
      main/dpi) what="frmMain: GetDC (the screen)" code=8 ;;
      logo/dpi) what="frmLogo: GetDC (the screen)" code=8 ;;
      login/dpi) what="frmLogin: GetDC (the screen)" code=8 ;;
      logo/window) what="frmLogo: CreateWindowExW" code=8 ;;
      logo/lock) what="frmLogo: GlobalLock" code=8 ;;
      logo/decode) what="frmLogo: OleLoadPicture (the logo)" code=0x800A01E1 ;;
      login/dialog) what="frmLogin: CreateDialogIndirectParamW" code=8 ;;
      main/codepage) what="frmMain: MultiByteToWideChar (code page 950)" code=87 ;;
      login/codepage) what="frmLogin: MultiByteToWideChar (code page 950)" code=87 ;;
      *) echo "no such case: $name"; exit 64 ;;
    esac
    want="box caption=tarn text=Run-time error: $what failed (error $code). icon=1 buttons=1
wow64=0
exit=4" ;;
  usage_*)
    # A step the form never takes is refused, with the steps of each form.
    IFS=_ read -r _ form step <<< "$name"
    want="exit=64
usage: formsdemo logo|login|main [--fail STEP]
the steps each form takes:
  logo:  --fail window|dpi|lock|decode
  login: --fail dialog|dpi|codepage
  main:  --fail window|dpi|codepage" ;;
  *) echo "no such case: $name"; exit 64 ;;
esac

if [[ $name == usage_* ]]; then
  # A form opened all the same would wait for a user: the time limit ends it.
  if in_room with_x timeout 60 wine "$demo" "$form" --fail "$step" > "$work/out" 2> "$work/err"; then code=0; else code=$?; fi
  check "$name" "$(echo "exit=$code"; tr -d '\r' < "$work/err"; cat "$work/out")" "$want"
  summary; exit
fi

if [[ $name == fail_* ]]; then
  XVFB_ARGS="-screen 0 1024x768x24" in_room with_x wine "$boxdriver" "$(winpath "$demo")" "$(winpath "$work")" 60 \
    "$form" --fail "$step" > "$work/report" 2> "$work/stderr"
  check "$name" "$(tr -d '\r' < "$work/report")" "$want"
  summary; exit
fi

# Without a window manager a captioned window has no frame drawn; a case that
# looks at the caption runs in a Wine desktop of the screen's size, where
# Wine draws every frame itself.
desktop=""
[[ " ${commands[*]} " == *" caption "* ]] && desktop="explorer /desktop=forms,1024x768"
LOGO=$logo DESKTOP=$desktop XVFB_ARGS="-screen 0 1024x768x24" in_room with_x bash -c '
  # shellcheck disable=SC2086
  wine $DESKTOP "$1" "$2" "$3" "${@:5}" > "$4/report" 2> "$4/stderr" &
  probe=$!
  if [[ " ${*:5} " == *" caption "* ]]; then
    # The caption as drawn on screen: the colour of an active or an inactive one.
    for _ in $(seq 200); do [ -e "$4/ready" ] && break; sleep 0.1; done
    sleep 0.5
    read -r x y active inactive < <(tr -d "\r" < "$4/stderr" |
      sed -n "s/^caption at \([0-9]*\) \([0-9]*\) active=\([0-9a-f]*\) inactive=\([0-9a-f]*\)$/\1 \2 \3 \4/p")
    seen=$(import -window root -crop "1x1+$x+$y" -depth 8 txt:- | grep -oiE "#[0-9a-f]{6}" | head -1 | tr -d "#" | tr A-F a-f)
    case $seen in
      "$active") echo caption=active ;;
      "$inactive") echo caption=inactive ;;
      *) echo "caption=$seen at $x,$y" ;;
    esac > "$4/caption"
    touch "$4/shot"
  fi
  if [ "$3" = logo ]; then
    # The picture on screen, where the client area lies, against the JPEG.
    for _ in $(seq 200); do [ -e "$4/ready" ] && break; sleep 0.1; done
    sleep 0.5
    read -r x y < <(sed -n "s/^client origin //p" "$4/stderr")
    import -window root -crop "227x184+$x+$y" +repage "$4/screen.png"
    rmse=$(compare -metric RMSE "$4/screen.png" "$LOGO" null: 2>&1 | sed -E "s/.*\((.*)\)/\1/")
    awk -v r="$rmse" "BEGIN { exit !(r < 0.01) }" && echo picture=same > "$4/picture" ||
      echo "picture differs: RMSE $rmse at $x,$y" > "$4/picture"
    touch "$4/shot"
  fi
  wait $probe
' _ "$probe" "$(winpath "$demo")" "$form" "$work" "${commands[@]}"

report=$(tr -d '\r' < "$work/report")
[ -f "$work/caption" ] && report="$report
$(cat "$work/caption")"
if [ -f "$work/picture" ]; then
  report=$(awk -v p="$(cat "$work/picture")" '/^exit=/ { print p } { print }' <<< "$report")
fi
check "$name" "$report" "$want" || grep -vE '^(client origin|caption at)' "$work/stderr" | head -20
summary
