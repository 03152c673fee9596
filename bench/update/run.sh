#!/usr/bin/env bash
# Benchmark of the update engine. Usage: run.sh WAN_PUBLISH WAN_UPDATE TREE_SERVER
# Sizes (environment): BENCH_SMALL_FILES (10000), BENCH_LARGE_FILES (3), BENCH_LARGE_MB (32),
# BENCH_MEM_MB (256: the large file of the memory comparison; 1024 for the 1 GiB claim),
# BENCH_ROUNDS (3).
set -euo pipefail
PUBLISH=$1 UPDATE=$2 SERVER=$3
SMALL=${BENCH_SMALL_FILES:-10000} LARGE=${BENCH_LARGE_FILES:-3}
LARGE_MB=${BENCH_LARGE_MB:-32} MEM_MB=${BENCH_MEM_MB:-256}
for tool in curl xz /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/setup)" >&2; exit 1; }
done

T=$(mktemp -d "${TMPDIR:-/tmp}/bench-update-XXXXXX")
SERVER_PID=""
cleanup() {
  if [[ -n $SERVER_PID ]]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
  rm -rf "$T"
}
trap cleanup EXIT

now_ns() { date +%s%N; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
text() { yes "bench $1 row of compressible game data $1" | head -c "$2" || true; }

serve() {
  rm -f "$T/port"
  "$SERVER" "$1" "$T/port" &
  SERVER_PID=$!
  for _ in $(seq 500); do [[ -s $T/port ]] && break; sleep 0.01; done
  DATAHOST="http://127.0.0.1:$(cat "$T/port")/"
}
unserve() { kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; SERVER_PID=""; }

echo "bench: generating $SMALL small files and $LARGE files of $LARGE_MB MiB"
B=$T/build
for ((d = 0; d < (SMALL + 99) / 100; d++)); do mkdir -p "$B/d$d"; done
# 1 to 4 KiB each, a hundred to a folder.
awk -v n="$SMALL" -v dir="$B" 'BEGIN {
  for (i = 0; i < n; i++) {
    f = dir "/d" int(i / 100) "/f" i ".dat"
    size = 1024 + (i * 7919) % 3072
    line = "bench " i " row of compressible game data " i "\n"
    s = ""
    while (length(s) < size) s = s line
    printf "%s", substr(s, 1, size) >f
    close(f)
  }
}'
mkdir -p "$B/big"
for ((i = 0; i < LARGE; i++)); do text "big$i" $((LARGE_MB << 20)) >"$B/big/b$i.pak"; done
"$PUBLISH" --from "$B" --to "$T/tree" >/dev/null
serve "$T/tree"

# The baseline's URL list: one curl process over one kept-alive connection fetches the same
# URLs as the update, then xz -d unpacks every file.
{
  echo "url = \"${DATAHOST}/versions.txt?t=1\""
  echo "output = \"$T/curl/versions.txt\""
  echo "url = \"${DATAHOST}standalone/launcher/gamefiles.txt?t=1\""
  echo "output = \"$T/curl/gamefiles.txt\""
  tail -n +3 "$T/tree/versions.txt" | while IFS=$'\t' read -r name version _; do
    echo "url = \"${DATAHOST}$name.$version\""
    echo "output = \"$T/curl/$name.xz\""
  done
} >"$T/curl.cfg"

# Each measurement is taken ROUNDS times, interleaved, and the fastest counts: the machine's
# other work only ever adds time. Dirty pages of the step before are written out first
# (sync), so that no step pays for another's writeback.
min() { if [[ -z $1 || $2 -lt $1 ]]; then echo "$2"; else echo "$1"; fi; }
full="" base="" noop="" cat_ns=""
for ((round = 0; round < ${BENCH_ROUNDS:-3}; round++)); do
  rm -rf "$T/work" "$T/curl"
  sync
  start=$(now_ns)
  "$UPDATE" --datahost "$DATAHOST" --work "$T/work" >/dev/null
  full=$(min "$full" $(($(now_ns) - start)))

  sync
  start=$(now_ns)
  curl -s --fail --create-dirs -H "Connection: Keep-Alive" --config "$T/curl.cfg"
  find "$T/curl" -name '*.xz' -print0 | xargs -0 xz -d
  base=$(min "$base" $(($(now_ns) - start)))

  sync
  start=$(now_ns)
  "$UPDATE" --datahost "$DATAHOST" --work "$T/work" >/dev/null
  noop=$(min "$noop" $(($(now_ns) - start)))

  find "$T/work" -name '*.version' -print0 >"$T/markers"
  start=$(now_ns)
  xargs -0 -a "$T/markers" cat >/dev/null
  cat_ns=$(min "$cat_ns" $(($(now_ns) - start)))
done
unserve
cmp -s "$T/curl/d0/f0.dat" "$T/work/d0/f0.dat" || { echo "bench: results differ" >&2; exit 1; }

# Peak memory of an update whose one large file is 16 MiB, then MEM_MB MiB.
peak_kb() {
  local size_mb=$1 dir=$T/mem$1
  mkdir -p "$dir/build"
  text mem "$((size_mb << 20))" >"$dir/build/large.pak"
  "$PUBLISH" --from "$dir/build" --to "$dir/tree" >/dev/null
  serve "$dir/tree"
  /usr/bin/time -f %M -o "$dir/peak" "$UPDATE" --datahost "$DATAHOST" --work "$dir/work" >/dev/null
  unserve
  cmp -s "$dir/build/large.pak" "$dir/work/large.pak" || { echo "bench: memory run differs" >&2; exit 1; }
  cat "$dir/peak"
  rm -rf "$dir"
}
echo "bench: memory runs with one file of 16 MiB and of $MEM_MB MiB"
mem_small=$(peak_kb 16)
mem_large=$(peak_kb "$MEM_MB")

echo
echo "full update   $(seconds "$full") s   curl + xz -d $(seconds "$base") s   ratio $(ratio "$full" "$base")  (target <= 1.10)"
echo "no-op update  $(seconds "$noop") s   cat markers  $(seconds "$cat_ns") s   ratio $(ratio "$noop" "$cat_ns")  (target <= 2, $SMALL+$LARGE files)"
echo "peak memory   $mem_small KiB with 16 MiB   $mem_large KiB with $MEM_MB MiB   difference $(((mem_large - mem_small) / 1024)) MiB  (target < 10 MiB)"
