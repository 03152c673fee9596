# wan-update against a wan-publish tree served by nginx with the operators' configuration
# (docs/nginx-update-tree.conf): a full update, a run with nothing to do, one changed file, the
# tree signed and the last update checked against the key.
# nginx runs as this test's own foreground process, with its prefix, configuration, pid, logs
# and temporary folders in the test's folder, on a free loopback port.
source "$(dirname "$0")/lib.sh"
SITE_CONF=$(cd "$(dirname "$0")/../../.." && pwd)/docs/nginx-update-tree.conf

NGINX=$(command -v nginx || true)
[[ -z $NGINX && -x /usr/sbin/nginx ]] && NGINX=/usr/sbin/nginx
if [[ -z $NGINX ]]; then
  echo "SKIP: nginx is not installed (scripts/setup installs the Debian package nginx)"
  exit 77
fi

B=$T/build W=$T/work TREE=$T/tree N=$T/nginx
mkdir -p "$B/sub dir" "$B/数据" "$B/standalone/launcher" "$B/resourcelib" "$N/tmp"
echo "alpha" >"$B/a.txt"
echo "blank names" >"$B/sub dir/c d.txt"
compressible_text 300000 map >"$B/数据/地图 1.pak"
echo "launcher part" >"$B/standalone/launcher/x.dll"
echo "cached resource" >"$B/resourcelib/r.dat"
(cd "$T" && "$PUBLISH" --new-key publisher >/dev/null) || fail "new key"
"$PUBLISH" --from "$B" --to "$TREE" --client-version 3 --sign "$T/publisher.key" >/dev/null ||
  fail "publish"

# A free port: the kernel names one, nginx takes it (again if another program was quicker).
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
start_nginx() {
  local port
  for _ in 1 2 3 4 5; do
    port=$(free_port)
    sed -e "s|^\( *listen \).*;|\1127.0.0.1:$port;|" -e "s|^\( *root \).*;|\1$TREE;|" \
      "$SITE_CONF" >"$N/site.conf"
    {
      [[ $(id -u) == 0 ]] && echo "user root;"  # workers read the test's private folder
      cat <<CONF
daemon off;
worker_processes 1;
pid $N/nginx.pid;
error_log $N/error.log;
events { worker_connections 64; }
http {
  access_log $N/access.log;
  client_body_temp_path $N/tmp/body;
  proxy_temp_path $N/tmp/proxy;
  fastcgi_temp_path $N/tmp/fastcgi;
  uwsgi_temp_path $N/tmp/uwsgi;
  scgi_temp_path $N/tmp/scgi;
  include $N/site.conf;
}
CONF
    } >"$N/nginx.conf"
    "$NGINX" -p "$N/" -e "$N/error.log" -c "$N/nginx.conf" &
    SERVER_PID=$!
    DATAHOST="http://127.0.0.1:$port/"
    for _ in $(seq 200); do
      curl -sf -o /dev/null "${DATAHOST}versions.txt" && return 0
      kill -0 "$SERVER_PID" 2>/dev/null || break
      sleep 0.05
    done
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
    SERVER_PID=""
  done
  cat "$N/error.log" >&2 || true
  fail "nginx did not start"
}
start_nginx

# What the configuration promises: manifests revalidated every time, payloads kept for ever,
# a missing file 404.
header() { curl -sI "$1" | tr -d '\r' | grep -i "^$2:" | cut -d' ' -f2-; }
[[ $(header "${DATAHOST}versions.txt?t=1" Cache-Control) == no-cache ]] || fail "versions.txt cached"
[[ $(header "${DATAHOST}standalone/launcher/gamefiles.txt" Cache-Control) == no-cache ]] ||
  fail "gamefiles.txt cached"
for signed in contentlist.txt contentlist.sig; do
  [[ $(header "${DATAHOST}$signed?t=1" Cache-Control) == no-cache ]] || fail "$signed cached"
done
[[ $(header "${DATAHOST}a.txt.1" Cache-Control) == "public, max-age=315360000, immutable" ]] ||
  fail "payloads not cacheable: $(header "${DATAHOST}a.txt.1" Cache-Control)"
[[ $(curl -s -o /dev/null -w '%{http_code}' "${DATAHOST}a.txt.9") == 404 ]] || fail "missing file"

"$UPDATE" --datahost "$DATAHOST" --work "$W" >"$T/out" || fail "full update"
grep -q "5 files downloaded, folder current, client version 3" "$T/out" || fail "$(cat "$T/out")"
same_as_build "$B" "$TREE" "$W"

# Nothing to do; a temporary file an ended run left beside a current file goes.
mv "$W/log.txt" "$T/log1"
echo "partial" >"$W/a.txt.tmp"
"$UPDATE" --datahost "$DATAHOST" --work "$W" >"$T/out" || fail "no-op update"
grep -q "0 files downloaded, folder current" "$T/out" || fail "no-op: $(cat "$T/out")"
[[ $(downloaded "$W" | wc -l) == 0 ]] || fail "no-op update downloaded files"
[[ ! -e $W/a.txt.tmp ]] || fail "stale a.txt.tmp left"

mv "$W/log.txt" "$T/log2"
compressible_text 310000 map2 >"$B/数据/地图 1.pak"
"$PUBLISH" --from "$B" --to "$TREE" --sign "$T/publisher.key" | grep -q "5 files, 1 new or changed" ||
  fail "second publish"
"$UPDATE" --datahost "$DATAHOST" --work "$W" --key "$T/publisher.pub" >/dev/null ||
  fail "update of one changed file"
[[ $(downloaded "$W") == "数据/地图 1.pak" ]] || fail "changed file: $(downloaded "$W")"
same_as_build "$B" "$TREE" "$W"

# Every request the runs made was answered by nginx: manifests with "?t=", payloads, all 200.
grep -q 'GET //*versions.txt?t=[0-9]* HTTP/1.1" 200' "$N/access.log" || fail "access log"
! grep -v '" 200 \|" 404 \|HEAD ' "$N/access.log" | grep -q . || fail "unexpected answers"

# wan-publish refuses builds a work folder could not hold.
mkdir -p "$T/bad/standalone"
echo one >"$T/bad/a"
echo two >"$T/bad/standalone/a"
rc=0; "$PUBLISH" --from "$T/bad" --to "$T/badtree" 2>"$T/err" || rc=$?
[[ $rc == 1 ]] && grep -q '"a" and "standalone/a" would be installed as one file' "$T/err" ||
  fail "two names of one file published: $(cat "$T/err")"
rm "$T/bad/a"
echo log >"$T/bad/standalone/log.txt"
rc=0; "$PUBLISH" --from "$T/bad" --to "$T/badtree" 2>"$T/err" || rc=$?
[[ $rc == 1 ]] && grep -q '"standalone/log.txt" would replace a file of the launcher' "$T/err" ||
  fail "the launcher's log published: $(cat "$T/err")"
rm "$T/bad/standalone/log.txt"
echo data >"$T/bad/standalone/Data"
mkdir "$T/bad/data"
echo x >"$T/bad/data/x"
rc=0; "$PUBLISH" --from "$T/bad" --to "$T/badtree" 2>"$T/err" || rc=$?
[[ $rc == 1 ]] && grep -q '"standalone/Data" would be installed where "data/x" needs a folder' "$T/err" ||
  fail "a file where another needs a folder published: $(cat "$T/err")"
echo "nginx passed"
