#!/usr/bin/env bash
# Launcher.exe under 64-bit Wine on an Xvfb of its own. Usage: launcher.sh WINDOWS_BUILD
# [TEMPLATE]. WINDOWS_BUILD is the x86_64 build of scripts/build-windows (Launcher.exe, orca.exe,
# win-probe.exe, drawing-check.exe). Every site of the launcher is one loopback server that
# logs the requests it gets (the web-browser control's among them).
#
# Another Windows process (win-probe.exe) finds the main dialog by its class, reads back its
# place, size and window region and the layered window beside it, and sends it the game's
# notices and pop-up requests; a second Launcher.exe finds it too, asks it forward and ends. A
# pop-up whose address is a start request starts the game (the
# web-browser control raises BeforeNavigate2 under Wine, though it renders nothing): first
# without orca.exe (a message box, read back in Chinese), then with the stand-in orca.exe,
# which gets its parameter string; its window closed, the launcher ends. Then the stand-in game
# alone: a press on its button released outside its window (xdotool) still reaches it.
#
# The prefix is wine.sh's Chinese one (code page 936, the product's); TEMPLATE is a prefix made by
# wine.sh before, copied instead of booting a new one.
set -euo pipefail
WIN=$(cd "$1" && pwd) TEMPLATE=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine.sh"
PROBE_EXE=$WIN/tests/windows/win-probe.exe
T=$(mktemp -d "${TMPDIR:-/tmp}/windows-launcher-XXXXXX")
PIDS=()

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
cleanup() {
  wine_stop
  xvfb_stop
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  [[ -n ${KEEP:-} ]] || rm -rf "$T"
}
trap cleanup EXIT

# A prefix of the test's own (wine_stop ends only its programs): no dialogs, no Mono or Gecko,
# nothing on the host's drives (the work folder's drive is a folder of the test).
wine_prefix "$T" "$TEMPLATE" || fail "no Wine prefix"
xvfb_start "$T" || fail "Xvfb did not start"
export DISPLAY=$XVFB_DISPLAY
# The programs' current folder, which a started program inherits, is the test's own.
cd "$T"

# until SECONDS COMMAND...: runs COMMAND until it succeeds, for at most SECONDS.
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

probe() {
  wine_run 60 "$PROBE_EXE" "$@" 2>/dev/null |
    tr -d '\r'
}
# field KEY LINE: the value of KEY= in a probe line.
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"; }
WORK=$T/drive/wan_tarn
log_has() { grep -qF -- "$1" "$WORK/log.txt" 2>/dev/null; }

# The drawing primitives first: the pictures and regions below are drawn with them.
wine_run 60 "$WIN/tests/windows/drawing-check.exe" >"$T/drawing.out" 2>&1 ||
  fail "drawing: $(tr -d '\r' <"$T/drawing.out")"

mkdir -p "$T/root" "$T/drive/wan_tarn" "$T/app"
python3 -u -m http.server --bind 127.0.0.1 --directory "$T/root" 0 >"$T/server.out" 2>&1 &
PIDS+=($!)
until_true 20 grep -q "^Serving HTTP" "$T/server.out" || fail "the loopback server did not start"
ORIGIN=http://127.0.0.1:$(sed -n 's/^Serving HTTP on .* port \([0-9]*\) .*/\1/p' "$T/server.out")

cp "$WIN/launcher/Launcher.exe" "$T/app/"
(cd "$T/app" && LAUNCHER_FIXED_DRIVES=$(winpath "$T/drive") LAUNCHER_SERVER=$ORIGIN \
  wine_run 300 Launcher.exe dev=1 >"$T/launcher.out" 2>&1) &
LAUNCHER=$!
PIDS+=("$LAUNCHER")

# The main dialog: a third from the top and centred, 980 x 650, shaped by the seven-point
# outline, with the layered window at its place and owned by it.
outline="157,75;938,75;955,108;940,141;938,592;139,594;36,316"
found() { line=$(probe find DODuzoDizuzide "$outline") && [[ $(field visible "$line") == 1 ]]; }
until_true 60 found || fail "no visible DODuzoDizuzide window"
dialog=$(field window "$line") pid=$(field pid "$line")
dialog_id=$((16#$dialog))  # the handle as the game's parameter string gives it
IFS=, read -r width height <<<"$(field screen "$line")"
left=$(((width - 980) / 2)) top=$(((height - 650) / 3))
expected="$left,$top,$((left + 980)),$((top + 650))"
[[ $(field rect "$line") == "$expected" ]] || fail "dialog at $(field rect "$line"), not $expected"
[[ $(field region "$line") == same ]] || fail "the dialog's region is $(field region "$line")"
windows=$(probe windows "$pid")
grep -q "owner=$dialog rect=$expected visible=1 layered=1" <<<"$windows" ||
  fail "no layered window beside the dialog: $windows"

# The web-browser control asks the server for the server list (it shows nothing: no HTML engine
# in this Wine).
until_true 30 grep -q "GET /mini/zonelist.html" "$T/server.out" ||
  fail "the server list was not requested"

# The game's notices, sent as another process sends them, each write their line.
for n in 1 2 3; do probe send DODuzoDizuzide $((0x400 + n)) >/dev/null || fail "WM_USER+$n"; done
until_true 10 log_has "game activate ...." || fail "no log line for WM_USER+3"
grep -qF "game init ...." "$WORK/log.txt" || fail "no log line for WM_USER+1"
grep -qF "game resize ...." "$WORK/log.txt" || fail "no log line for WM_USER+2"

# A second launcher asks the running one forward (2030) and ends without a dialog of its own.
status=0
(cd "$T/app" && LAUNCHER_FIXED_DRIVES=$(winpath "$T/drive") LAUNCHER_SERVER=$ORIGIN \
  wine_run 60 Launcher.exe dev=1 >"$T/second.out" 2>&1) || status=$?
((status != 124)) || fail "the second launcher did not end"
log_has "launcher already running (window $dialog_id), bring it to top" ||
  fail "the second launcher did not find the first"
until_true 10 log_has "run launcher, open main dialog" || fail "the first was not brought forward"

# A kind-1 copy-data request opens the pop-up: a 480 x 360 window owned by the dialog.
out=$(probe copydata DODuzoDizuzide 1 "480,360,$ORIGIN/popup.html") || fail "copy-data: $out"
popup() { probe windows "$pid" | grep -q "owner=$dialog rect=[0-9-]*,[0-9-]*,[0-9-]*,[0-9-]* visible=1 layered=0"; }
until_true 20 popup || fail "no pop-up after the copy-data request"
read -r l t r b <<<"$(probe windows "$pid" | grep "owner=$dialog .* layered=0" |
  sed -n 's/.*rect=\([-0-9]*\),\([-0-9]*\),\([-0-9]*\),\([-0-9]*\) visible=1.*/\1 \2 \3 \4/p')"
[[ $((r - l))x$((b - t)) == 480x360 ]] || fail "the pop-up is $((r - l))x$((b - t)), not 480x360"

# A start request with no game in the work folder: the player is told, in Chinese.
start="app:startgame|account|token|9|127.0.0.1|4321|$ORIGIN/|qq|pfkey|true|extra"
probe copydata DODuzoDizuzide 1 "480,360,$start" >/dev/null || fail "start request"
boxed() { box=$(probe boxes "$pid" | grep "caption=错误 ") ; }
until_true 30 boxed || fail "no message box: $(probe boxes "$pid")"
[[ $(field text "$box") == 游戏进程启动失败 ]] || fail "message box: $box"
probe post "$(field box "$box" | sed 's/^0*/0x/')" 0x10 || fail "closing the message box"

# With the stand-in game in place, the game starts with the launch parameters and the main
# dialog's handle; its window is found (2030 brings it forward) and the launcher hides.
cp "$WIN/tools/orca/orca.exe" "$WORK/orca.exe"
probe copydata DODuzoDizuzide 1 "480,360,$start" >/dev/null || fail "second start request"
until_true 60 grep -qs "^args: " "$WORK/orca.log" || fail "the game did not start"
args=$(head -1 "$WORK/orca.log" | tr -d '\r')
for part in "-host 127.0.0.1 -port 4321 -datahost $ORIGIN/ -launcher 2 -hwnd $dialog_id -newbie 1" \
  "-groupid 9 -account account -token token"; do
  [[ $args == *"$part"* ]] || fail "the game's parameters lack '$part': $args"
done
until_true 30 probe find OrcaStandIn >/dev/null || fail "no game window"
hidden() { [[ $(field visible "$(probe find DODuzoDizuzide)") == 0 ]]; }
until_true 30 hidden || fail "the launcher did not hide"
probe send DODuzoDizuzide 2030 >/dev/null || fail "2030"
until_true 10 log_has "run launcher, bring game to top" || fail "the game window was not found"

# The game's window closes: the launcher notices within its tick and ends.
probe post OrcaStandIn 0x10 || fail "closing the game"
until_true 30 log_has "game closed ..." || fail "the launcher did not see the game close"
until_true 30 log_has "Exit ..." || fail "the launcher did not exit"
until_true 30 eval '! kill -0 "$LAUNCHER" 2>/dev/null' || fail "the launcher process lingers"

# A press takes the pointer until the release: pressed on one of the game's buttons and released
# outside its window, the button does not click and lets go, so the next click on the other
# button counts. Were the release lost, the first button would keep the pointer and swallow it.
mkdir -p "$T/game"
(cd "$T/game" && wine_run 120 "$WIN/tools/orca/orca.exe" >"$T/game.out" 2>&1) &
PIDS+=($!)
until_true 60 grep -qs "window shown" "$T/game/orca.log" || fail "the stand-in game did not show"
line=$(probe find OrcaStandIn) || fail "no stand-in game window"
IFS=, read -r x y <<<"$(field client "$line")"
popup_x=$((x + 105)) popup_y=$((y + 386)) launcher_x=$((x + 295))  # the buttons' centres
xdotool mousemove --sync "$popup_x" "$popup_y" mousedown 1 mousemove --sync 5 5 mouseup 1
xdotool mousemove --sync "$launcher_x" "$popup_y" click 1
until_true 20 grep -qs "not sent: 2030" "$T/game/orca.log" ||
  fail "a click after a release outside the window did not count: $(cat "$T/game/orca.log")"
! grep -q "pop-up" "$T/game/orca.log" || fail "a release outside the window clicked the button"
probe post OrcaStandIn 0x10 || fail "closing the stand-in game"
echo "windows launcher passed"
