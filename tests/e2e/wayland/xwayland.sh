#!/usr/bin/env bash
# The launcher and the game on a Wayland desktop: a headless weston of the test's own with
# XWayland, WAYLAND_DISPLAY and XWayland's DISPLAY both set and GDK_BACKEND=wayland, as a GNOME
# or KDE session leaves them. The launcher's dialog must show on the X display, the game must
# start, and the game's message must reach the launcher. Then, with the Wayland display but no
# X display, the launcher must end at once and say why, on standard error and in its log.
#
#   xwayland.sh LAUNCHER ORCA DEMO_SERVER WAN_SEND
set -euo pipefail
LAUNCHER=$1 ORCA=$2 SERVER=$3 SEND=$4
readonly wait_limit=60  # seconds any one stage may take

for program in weston Xwayland; do
  if ! command -v "$program" >/dev/null; then
    echo "SKIP: $program is not installed (scripts/setup installs weston and xwayland)"
    exit 77
  fi
done

T=$(mktemp -d "${TMPDIR:-/tmp}/xwayland-e2e-XXXXXX")
work=$T/drive/wan_tarn/
weston_pid="" server_pid="" launcher_pid="" x_display=""

source "$(dirname "$0")/../processes.sh"

cleanup() {
  local pid
  for pid in $(pids_running "${work}orca.exe"); do stop "$pid"; done
  stop "$launcher_pid"
  stop "$server_pid"
  stop "$weston_pid"  # XWayland ends with it
  [[ -n ${KEEP:-} ]] || rm -rf "$T"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  local file
  for file in "${work}log.txt" "${work}orca.log" "$T"/*.out "$T/weston.log"; do
    [[ -e $file ]] && printf -- '--- %s\n%s\n' "$file" "$(tail -n 30 "$file")" >&2
  done
  exit 1
}

log_has() {
  grep -qF -- "$1" "${work}log.txt" 2>/dev/null
}

mkdir -p "$T"/{home/.config,home/.cache,home/.local/share,run,root/mini} "$work"
chmod 700 "$T/run"  # weston and GTK want a private runtime folder
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config XDG_CACHE_HOME=$T/home/.cache \
  XDG_DATA_HOME=$T/home/.local/share XDG_RUNTIME_DIR=$T/run GSETTINGS_BACKEND=memory \
  NO_AT_BRIDGE=1 LAUNCHER_FIXED_DRIVES=$T/drive
unset DISPLAY WAYLAND_DISPLAY

# weston binds XWayland's socket in the X servers' folder, and crashes where it is missing
# (an X server that started earlier makes it).
[[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix

weston --backend=headless-backend.so --use-pixman --width=1280 --height=800 --xwayland \
  --socket=wayland-e2e --no-config --idle-time=0 --log="$T/weston.log" >"$T/weston.out" 2>&1 &
weston_pid=$!
wait_for "weston's Wayland socket" test -S "$T/run/wayland-e2e"
# XWayland's display, which weston announces once it listens for X clients.
announced_display() {
  x_display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\)$/\1/p' "$T/weston.log")
  [[ -n $x_display ]]
}
wait_for "XWayland's display" announced_display
export WAYLAND_DISPLAY=wayland-e2e GDK_BACKEND=wayland

"$SERVER" --root "$T/root" --port 0 --telemetry-log "$T/telemetry.log" >"$T/server.out" 2>&1 &
server_pid=$!
origin=""
server_address() {
  origin=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$T/server.out")
}
wait_for "demo-server's start" server_address
export LAUNCHER_SERVER=$origin

# The server list picks its server itself as it loads, so the road needs no clicks.
link="app:startgame|e2e_player|e2e_token|9|127.0.0.1|7009|$origin/|e2e_platform|e2e_pf|true|zone=9"
printf '<!DOCTYPE html><html><body><script>location.href = "%s";</script></body></html>\n' \
  "$link" >"$T/root/mini/zonelist.html"
# In developer mode the launcher starts the game in its work folder without an update.
cp "$ORCA" "${work}orca.exe"

# The road on the X display that XWayland provides.
(cd "$work" && DISPLAY=$x_display exec "$LAUNCHER" dev=1 >"$T/launcher.out" 2>&1) &
launcher_pid=$!
dialog=""
main_dialog() {
  dialog=$(DISPLAY=$x_display "$SEND" --find DODuzoDizuzide)
}
wait_for "the launcher's dialog on $x_display" main_dialog
wait_for "the game's start" grep -q "^window shown$" "${work}orca.log"
wait_for "the game's message to the launcher" log_has "game init ...."
grep -q "^sent WM_USER+1 to $((dialog)), result " "${work}orca.log" ||
  fail "the game did not address the launcher's dialog $dialog"
# The processes the launcher started (the web engine's) were given the X11 backend too.
children=$(pgrep -P "$launcher_pid") || fail "the launcher runs no web engine process"
for pid in $children; do
  tr '\0' '\n' <"/proc/$pid/environ" | grep -qx GDK_BACKEND=x11 ||
    fail "$(cat "/proc/$pid/comm") (pid $pid) was started without GDK_BACKEND=x11"
done
game=$(DISPLAY=$x_display "$SEND" --find OrcaStandIn) || fail "no game window on $x_display"
DISPLAY=$x_display "$SEND" --window "$game" --post 0x0010 >/dev/null  # WM_CLOSE
wait_for "the launcher's end after the game's" process_ended "$launcher_pid"
wait "$launcher_pid" || fail "the launcher ended with status $?"
launcher_pid=""

# Wayland without XWayland: no X display to open.
rm -f "${work}log.txt"
message="cannot open the X display: set DISPLAY to an X server (on a Wayland desktop, XWayland's)"
started=$SECONDS
status=0
(cd "$work" && exec timeout 30 "$LAUNCHER" dev=1 >"$T/no-display.out" 2>&1) || status=$?
((status == 1)) || fail "with no X display the launcher ended with status $status"
((SECONDS - started <= 10)) || fail "with no X display the launcher took $((SECONDS - started)) s"
grep -qxF "$message" "$T/no-display.out" || fail "no message on standard error"
log_has ": $message " || fail "no message in log.txt"
echo "PASS"
