#!/usr/bin/env bash
# Telemetry from real launchers to the operators' report: nginx receives with
# docs/nginx-telemetry.conf, three Launcher.exe runs post their events (two players who get to
# the game, one who stops at the server list, on two channels), the operators' commands of
# docs/operators.md load the log into PostgreSQL, and wan-telemetry's report from the database
# must give each step's players, alike with the report from the log itself.
# nginx, Xvfb and PostgreSQL run as this test's own processes, with every file in its folder;
# PostgreSQL listens on a socket there only (as root, it runs as the user "postgres").
#
#   telemetry.sh LAUNCHER ORCA WAN_TELEMETRY
set -euo pipefail
LAUNCHER=$1 ORCA=$2 REPORT=$3
SITE_CONF=$(cd "$(dirname "$0")/../../.." && pwd)/docs/nginx-telemetry.conf
PG_BIN=/usr/lib/postgresql/15/bin
readonly wait_limit=30  # seconds any one stage may take

NGINX=$(command -v nginx || true)
[[ -z $NGINX && -x /usr/sbin/nginx ]] && NGINX=/usr/sbin/nginx
for need in "$NGINX" "$PG_BIN/initdb" "$(command -v psql || true)" "$(command -v Xvfb || true)"; do
  if [[ ! -x $need ]]; then
    echo "SKIP: nginx, PostgreSQL 15 or Xvfb is not installed (scripts/setup installs them)"
    exit 77
  fi
done

T=$(mktemp -d "${TMPDIR:-/tmp}/telemetry-e2e-XXXXXX")
work=$T/drive/wan_tarn/
N=$T/nginx PG=$T/pg LOG=$T/nginx/telemetry.log
nginx_pid="" xvfb_pid="" launcher_pid="" pg_pid=""

# PostgreSQL refuses to run as root: then it runs as the user the package made.
as_db_owner() {
  if ((EUID == 0)); then runuser -u postgres -- "$@"; else "$@"; fi
}

source "$(dirname "$0")/../processes.sh"

stop_game() {
  local pid
  for pid in $(pids_running "${work}orca.exe"); do stop "$pid"; done
}

cleanup() {
  stop_game
  stop "$launcher_pid"
  stop "$nginx_pid"
  stop "$xvfb_pid"
  # A cluster still starting ends its start (bounded by pg_ctl's -t) and is stopped then.
  [[ -z $pg_pid ]] || wait "$pg_pid" || true
  [[ ! -e $PG/data/postmaster.pid ]] ||
    as_db_owner "$PG_BIN/pg_ctl" -D "$PG/data" -m immediate -t 10 stop >/dev/null 2>&1 || true
  [[ -n ${KEEP:-} ]] || rm -rf "$T"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  local file
  for file in "${work}log.txt" "$LOG" "$N/error.log" "$PG/log" "$T"/*.out; do
    [[ -e $file ]] && printf -- '--- %s\n%s\n' "$file" "$(tail -n 20 "$file")" >&2
  done
  exit 1
}

# PostgreSQL starts while the launchers run: a cluster of the test's own, its socket in $PG.
mkdir -p "$PG" "$N/tmp" "$T/root/mini" "$work" "$T/share" "$T/run"
mkdir -p "$T"/home/{.config,.cache,.local/share}
chmod 711 "$T"
chmod 700 "$T/run"
((EUID != 0)) || chown postgres: "$PG"
(
  cd "$PG"
  as_db_owner "$PG_BIN/initdb" -D "$PG/data" -U telemetry -A trust --no-sync >"$PG/initdb.out" &&
    as_db_owner "$PG_BIN/pg_ctl" -D "$PG/data" -l "$PG/log" -w -t "$wait_limit" \
      -o "-c listen_addresses='' -c unix_socket_directories='$PG'" start >/dev/null
) >"$T/postgres.out" 2>&1 &
pg_pid=$!

# nginx with the operators' file; the pages the launcher opens come from the http block's root.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
start_nginx() {
  local port sink
  for _ in 1 2 3 4 5; do
    port=$(free_port) sink=$(free_port)
    sed -e "s|^\( *listen \)8090;|\1127.0.0.1:$port;|" -e "s|8091|$sink|" \
      -e "s|/var/log/nginx/telemetry.log|$LOG|" "$SITE_CONF" >"$N/site.conf"
    {
      ((EUID != 0)) || echo "user root;"  # workers read the test's private folder
      cat <<CONF
daemon off;
worker_processes 1;
pid $N/nginx.pid;
error_log $N/error.log;
events { worker_connections 64; }
http {
  access_log $N/access.log;
  root $T/root;
  default_type text/html;
  client_body_temp_path $N/tmp/body;
  proxy_temp_path $N/tmp/proxy;
  fastcgi_temp_path $N/tmp/fastcgi;
  uwsgi_temp_path $N/tmp/uwsgi;
  scgi_temp_path $N/tmp/scgi;
  include $N/site.conf;
}
CONF
    } >"$N/nginx.conf"
    echo "<html></html>" >"$T/root/index.html"
    "$NGINX" -p "$N/" -e "$N/error.log" -c "$N/nginx.conf" &
    nginx_pid=$!
    ORIGIN="http://127.0.0.1:$port"
    for _ in $(seq 200); do
      curl -sf -o /dev/null "$ORIGIN/index.html" && return 0
      kill -0 "$nginx_pid" 2>/dev/null || break
      sleep 0.05
    done
    stop "$nginx_pid"
    nginx_pid=""
  done
  fail "nginx did not start"
}
start_nginx

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>"$T/xvfb.out" & echo $!)
read -r xvfb_pid <&3
read -r -t "$wait_limit" display <&3 || fail "Xvfb did not start"
exec 3<&-
export DISPLAY=":$display" HOME=$T/home XDG_CONFIG_HOME=$T/home/.config \
  XDG_CACHE_HOME=$T/home/.cache XDG_DATA_HOME=$T/home/.local/share XDG_RUNTIME_DIR=$T/run \
  XDG_DATA_DIRS=$T/share:/usr/share GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 \
  LAUNCHER_FIXED_DRIVES=$T/drive LAUNCHER_SERVER=$ORIGIN
# In developer mode the launcher starts the game in its work folder without an update.
cp "$ORCA" "${work}orca.exe"

# has_events PLAYER N: the log holds N events of PLAYER (the body is escaped in the line).
has_events() {
  (($(grep -cF "\\\"who\\\":\\\"$1\\\"" "$LOG" 2>/dev/null) >= $2))
}

# run_launcher PLAYER CHANNEL EVENTS PICKS: a launcher of PLAYER on CHANNEL until it posted
# EVENTS events. With PICKS the server list opens a server's login page (without its own
# history entry, so the launcher's step back after the start request repeats nothing), which
# starts the game as a new player; without it the list is left as it is.
run_launcher() {
  local player=$1 channel=$2 events=$3 picks=$4
  local link="app:startgame|$player|token|9|127.0.0.1|7009|$ORIGIN/|$channel|pf|true|zone=9"
  if ((picks)); then
    echo "<script>location.replace('/mini/login?zone=9');</script>" >"$T/root/mini/zonelist.html"
  else
    echo "<p>servers</p>" >"$T/root/mini/zonelist.html"
  fi
  echo "<script>location.href = '$link';</script>" >"$T/root/mini/login"
  (cd "$work" && ASAN_OPTIONS=detect_leaks=0 exec "$LAUNCHER" "dev=1,ID=$player,pf=$channel" \
    >"$T/$player.out" 2>&1) &
  launcher_pid=$!
  wait_for "$player's $events events" has_events "$player" "$events"
  stop "$launcher_pid"
  launcher_pid=""
  stop_game
}
# start, server list, first second; with the login: server picked, start pressed, new player,
# game started.
run_launcher alice chanA 7 1
run_launcher bob chanA 3 0
run_launcher carol chanB 7 1

# Refused, and so never logged (the line count below): an oversized body, another method, another
# kind.
status() { curl -s -o /dev/null -w '%{http_code}' "$@"; }
[[ $(head -c 5000 /dev/zero | status --data-binary @- "$ORIGIN/receive/rest/event") == 413 &&
  $(status "$ORIGIN/receive/rest/event") == 403 &&
  $(status --data x "$ORIGIN/receive/rest/other") == 404 ]] || fail "a refused post was taken"

# What the loader must bear: an event of another day (UTC: the day after its local evening),
# a line that is not JSON, one cut short and one longer than any event.
cat >>"$LOG" <<'LINES'
{"time":"2026-01-02T23:30:00-02:00","host":"h","kind":"event","body":"{\"who\":\"dave\",\"what\":\"loginstate\",\"context\":{\"deviceid\":\"dave\",\"channelid\":\"chanB\",\"state\":\"wd_start\"}}"}
not json
{"time":"2026-01-02T23:30:00-02:00","host":"h","kind":"event","body":"{\"who\":\"
LINES
printf '{"time":"%s"}\n' "$(head -c 100000 /dev/zero | tr '\0' x)" >>"$LOG"

# The operators' commands (docs/operators.md), with the cluster named by libpq's variables.
wait "$pg_pid" || fail "PostgreSQL did not start: $(cat "$T/postgres.out")"
pg_pid=""
export PGHOST=$PG PGUSER=telemetry
createdb -E SQL_ASCII --locale=C -T template0 telemetry || fail "createdb"
psql -q telemetry -c 'CREATE TABLE telemetry_line (line text)' || fail "create table"
psql -q telemetry -c "\copy telemetry_line (line) FROM pstdin WITH (FORMAT csv, DELIMITER E'\x02', QUOTE E'\x01')" <"$LOG" ||
  fail "load"
[[ $(psql -tA telemetry -c 'SELECT count(*) FROM telemetry_line') == $(wc -l <"$LOG") ]] ||
  fail "not every line loaded"

"$REPORT" --postgres dbname=telemetry --svg "$T/funnel.svg" >"$T/report" || fail "report"
"$REPORT" "$LOG" >"$T/file-report" || fail "report from the log"
cmp -s "$T/report" "$T/file-report" || fail "the database and the log differ: $(diff "$T/report" "$T/file-report")"

today=$(date -u -d "$(sed -n '1s/^{"time":"\([^"]*\)".*/\1/p' "$LOG")" +%F)
# players DAY CHANNEL: the report's players of each step for DAY and CHANNEL, on one line.
players() {
  grep -A5 -x "$1  $2" "$T/report" | awk 'NR > 1 { printf "%s ", $2 }'
}
[[ $(players "$today" chanA) == "2 2 1 1 1 " && $(players "$today" chanB) == "1 1 1 1 1 " &&
  $(players 2026-01-03 chanB) == "1 0 0 0 0 " ]] || fail "players: $(cat "$T/report")"
grep -qE "^  wd_select_server +1   lost   50.0%$" "$T/report" || fail "share lost: $(cat "$T/report")"
grep -qx "wan-telemetry: 21 lines: 13 funnel events, 5 other events, 3 malformed lines skipped" \
  "$T/report" || fail "summary: $(tail -n 1 "$T/report")"
python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$T/funnel.svg" ||
  fail "the SVG is not well-formed"
grep -q ">$today  chanA</text>" "$T/funnel.svg" || fail "no chanA panel in the SVG"
echo "PASS"
