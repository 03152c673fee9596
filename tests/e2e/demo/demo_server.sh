# demo-server serves the server list with ten-field start links that update from itself, the
# pop-up with its close request, the link pages and the launcher files of its root; keeps each
# telemetry event on one line; and a second server on its port ends with one clear line.
# Usage: demo_server.sh DEMO_SERVER
set -euo pipefail
SERVER=$1
T=$(mktemp -d "${TMPDIR:-/tmp}/demo-server-e2e-XXXXXX")
PID=""
cleanup() {
  if [[ -n $PID ]]; then
    kill "$PID" 2>/dev/null || true
    wait "$PID" 2>/dev/null || true
  fi
  rm -rf "$T"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
get() { curl -sf --max-time 10 "$ORIGIN$1"; }

mkdir -p "$T/root/launcher"
echo "1.0.0.2" >"$T/root/launcher/launcherversion.txt"
echo "new launcher" >"$T/root/launcher/Launcher.exe.1.0.0.2"
(cd "$T" && exec "$SERVER" --root root --port 0 --telemetry-log telemetry.log) >"$T/out" 2>&1 &
PID=$!
for _ in $(seq 500); do grep -q http "$T/out" && break; sleep 0.01; done
ORIGIN=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$T/out") || fail "no address: $(cat "$T/out")"

# The server list: every start link has the command and ten fields, its data host is this
# server's own origin, one server is for a new player.
get /mini/zonelist.html >"$T/zonelist" || fail "zonelist.html"
grep -o 'href="app:startgame|[^"]*"' "$T/zonelist" | sed 's/^href="//; s/"$//' >"$T/links"
(($(wc -l <"$T/links") >= 2)) || fail "start links: $(cat "$T/links")"
while IFS='|' read -r -a field; do
  ((${#field[@]} == 11)) || fail "not ten fields: ${field[*]}"
  [[ ${field[6]} == "$ORIGIN/" ]] || fail "data host ${field[6]} is not $ORIGIN/"
  [[ ${field[9]} == true || ${field[9]} == false ]] || fail "new-player flag ${field[9]}"
done <"$T/links"
[[ $(cut -d'|' -f10 "$T/links" | grep -c true) == 1 ]] || fail "exactly one new-player server"
! grep -q '{{origin}}' "$T/zonelist" || fail "origin left unreplaced"
login=$(grep -o 'href="[^"]*login?[^"]*"' "$T/zonelist" | head -n1 | sed 's/^href="//; s/"$//')
[[ -n $login ]] || fail "no login? link"
get "$login" | grep -q zonelist.html || fail "the login page $login"

# The pages fetch nothing but this server: every absolute address is its own.
for page in /mini/zonelist.html "$login" /popup.html /home.html /bbs.html /qa.html /recharge.html; do
  get "$page" >"$T/page" || fail "$page"
  grep -oE '(https?:|["'"'"'(=]//)[^"'"'"' )<]*' "$T/page" | sed 's/^["'"'"'(=]//' |
    grep -v "^$ORIGIN" >"$T/outside" || true
  [[ ! -s $T/outside ]] || fail "$page reaches outside: $(cat "$T/outside")"
done
get /popup.html | grep -q 'href="app:close"' || fail "popup.html has no app:close link"
titles=$(for p in home bbs qa recharge; do get "/$p.html" | grep -o '<title>[^<]*'; done | sort -u)
[[ $(wc -l <<<"$titles") == 4 ]] || fail "the four link pages are not distinct: $titles"
code=$(curl -s -o /dev/null -w '%{http_code}' --max-time 10 "$ORIGIN/no-such-page.html")
[[ $code == 404 ]] || fail "a missing page answers $code"

# The launcher's own update files come from the root.
[[ $(get /launcher/launcherversion.txt) == 1.0.0.2 ]] || fail "launcherversion.txt"
[[ $(get /launcher/Launcher.exe.1.0.0.2) == "new launcher" ]] || fail "Launcher.exe.1.0.0.2"

# A body with line ends stays one line, on the output and in the log.
curl -sf --max-time 10 --data-binary $'{"a":1}\r\n{"b":2}\n' "$ORIGIN/receive/rest/wd_start" |
  grep -q '"ret":0' || fail "telemetry answer"
for _ in $(seq 500); do grep -q telemetry: "$T/out" && break; sleep 0.01; done
[[ $(grep telemetry: "$T/out") == 'telemetry: wd_start {"a":1}\r\n{"b":2}\n' ]] ||
  fail "telemetry line: $(grep -A2 telemetry: "$T/out")"
[[ $(cat "$T/telemetry.log") == 'wd_start {"a":1}\r\n{"b":2}\n' ]] || fail "telemetry log"

# A second server on the taken port: one line on stderr, exit status 1.
port=${ORIGIN##*:}
rc=0
timeout 10 "$SERVER" --root "$T/root" --port "$port" >"$T/out2" 2>"$T/err2" || rc=$?
[[ $rc == 1 ]] || fail "a second server on port $port exits $rc"
[[ $(wc -l <"$T/err2") == 1 ]] && grep -q "$port" "$T/err2" ||
  fail "not one clear line: $(cat "$T/err2")"
[[ ! -s $T/out2 ]] || fail "the second server claims an address: $(cat "$T/out2")"
echo "demo-server passed"
