#!/usr/bin/env bash
# What signing costs an update. Usage: signed.sh WAN_PUBLISH WAN_UPDATE TREE_SERVER
# Times a full update of a signed tree with the key (every download hashed before it is
# installed) against the same update without it, and a --verify run of the current folder
# (every installed file hashed) against a plain no-op run: wall time and the CPU time of the
# process, the fastest of the rounds. The large files are text that compresses like game data
# does (base64 of random bytes, about 3:4), since hashing is measured against decoding.
# Sizes (environment): BENCH_SMALL_FILES (2000), BENCH_LARGE_FILES (3), BENCH_LARGE_MB (32),
# BENCH_ROUNDS (3).
set -euo pipefail
PUBLISH=$1 UPDATE=$2 SERVER=$3
SMALL=${BENCH_SMALL_FILES:-2000} LARGE=${BENCH_LARGE_FILES:-3} LARGE_MB=${BENCH_LARGE_MB:-32}

T=$(mktemp -d "${TMPDIR:-/tmp}/bench-signed-XXXXXX")
SERVER_PID=""
cleanup() {
  if [[ -n $SERVER_PID ]]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
  rm -rf "$T"
}
trap cleanup EXIT

echo "bench: generating $SMALL small files and $LARGE files of $LARGE_MB MiB"
B=$T/build
mkdir -p "$B/big"
awk -v n="$SMALL" -v dir="$B" 'BEGIN {
  for (i = 0; i < n; i++) {
    d = dir "/d" int(i / 100); if (i % 100 == 0) system("mkdir -p " d)
    f = d "/f" i ".dat"; size = 1024 + (i * 7919) % 3072
    line = "bench " i " row of compressible game data " i "\n"; s = ""
    while (length(s) < size) s = s line
    printf "%s", substr(s, 1, size) >f; close(f)
  }
}'
for ((i = 0; i < LARGE; i++)); do
  head -c $((LARGE_MB << 20)) /dev/urandom | base64 -w 100 | head -c $((LARGE_MB << 20)) >"$B/big/b$i.pak" || true
done
(cd "$T" && "$PUBLISH" --new-key bench >/dev/null)
"$PUBLISH" --from "$B" --to "$T/tree" --sign "$T/bench.key" >/dev/null

"$SERVER" "$T/tree" "$T/port" &
SERVER_PID=$!
for _ in $(seq 500); do [[ -s $T/port ]] && break; sleep 0.01; done
DATAHOST="http://127.0.0.1:$(cat "$T/port")/"

# run NAME ARGS...: one update; its wall and CPU milliseconds go into NAME_wall and NAME_cpu
# when lower than what they hold.
run() {
  local name=$1 wall cpu
  shift
  /usr/bin/time -f "%e %U %S" -o "$T/time" "$UPDATE" --datahost "$DATAHOST" --work "$T/work" "$@" >/dev/null
  read -r wall cpu <<<"$(awk '{ printf "%d %d", $1 * 1000, ($2 + $3) * 1000 }' "$T/time")"
  local w=${name}_wall c=${name}_cpu
  [[ -z ${!w:-} || $wall -lt ${!w} ]] && printf -v "$w" %s "$wall"
  [[ -z ${!c:-} || $cpu -lt ${!c} ]] && printf -v "$c" %s "$cpu"
  return 0
}
ms() { awk -v ms="$1" 'BEGIN { printf "%.3f s", ms / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# Interleaved rounds, the fastest of each counts: the machine's other work only adds time.
for ((round = 0; round < ${BENCH_ROUNDS:-3}; round++)); do
  rm -rf "$T/work"; sync
  run plain
  rm -rf "$T/work"; sync
  run signed --key "$T/bench.pub"
  run noop --key "$T/bench.pub"
  run verify --key "$T/bench.pub" --verify
done

echo
echo "full update  unsigned $(ms "$plain_wall") (cpu $(ms "$plain_cpu"))   signed $(ms "$signed_wall") (cpu $(ms "$signed_cpu"))"
echo "             ratio wall $(ratio "$signed_wall" "$plain_wall")  cpu $(ratio "$signed_cpu" "$plain_cpu")  (target <= 1.05)"
echo "no-op update $(ms "$noop_wall") (cpu $(ms "$noop_cpu"))   with --verify $(ms "$verify_wall") (cpu $(ms "$verify_cpu"))"
