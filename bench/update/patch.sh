#!/usr/bin/env bash
# Benchmark of patches: a patch day on the game-like build, and one small edit in a large pack.
# Usage: patch.sh WAN_PUBLISH WAN_UPDATE TREE_SERVER GAME_BUILD
# Settings (environment): BENCH_SEED (1), BENCH_PUBLISH_MB (140: the mixed build), BENCH_PACK_MB
# (64: the pack of the patch day; 256: the pack of the single edit, BENCH_BIG_PACK_MB),
# BENCH_RATE_MBIT (100) and BENCH_LATENCY_MS (20: the link).
#
# Patch day: the build, then a new version with 3 % of its files edited in place (16 bytes
# each), 1 % added and 1 % of the pack's 64 KiB blocks overwritten, published with --deltas 2.
# It compares the bytes on the wire and the time of the update over the modelled link, with one
# and eight connections, against the same update told to ignore patches (--no-patches). Single edit: 1 KiB
# in the middle of a pack, the patch's size and the update's time and peak memory.
set -euo pipefail
PUBLISH=$1 UPDATE=$2 SERVER=$3 GAME_BUILD=$4
MB=${BENCH_PUBLISH_MB:-140} PACK_MB=${BENCH_PACK_MB:-64} BIG_MB=${BENCH_BIG_PACK_MB:-256}
source "$(dirname "$0")/lib.sh" bench-patch

now_ns() { date +%s%N; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.2f", ns / 1e9 }'; }
# edit FILE OFFSET SIZE: SIZE random bytes written over FILE at OFFSET.
edit() { head -c "$3" /dev/urandom | dd of="$1" bs=64K seek="$2" oflag=seek_bytes conv=notrunc status=none; }
# wire WORK TREE: the bytes of the files WORK's last run downloaded, and how many (the content
# list, fetched without a log line, counted too).
wire() {
  { grep -o "download file [^ ]*" "$1/log.txt" | sed "s|download file $DATAHOST||; s|?t=.*||; s|%20| |g"
    echo contentlist.txt; } |
    while IFS= read -r f; do stat -c %s "$2/$f"; done | awk '{ s += $1; n++ } END { print s, n }'
}
# timed_update WORK [OPTIONS]: prints the update's nanoseconds.
timed_update() {
  sync
  local start
  start=$(now_ns)
  "$UPDATE" --datahost "$DATAHOST" --work "$@" >/dev/null
  echo $(($(now_ns) - start))
}

echo "bench: patch day on a mixed build of $MB MiB and a pack of $PACK_MB MiB" >&2
"$GAME_BUILD" --seed "$SEED" --shape mixed --mb "$MB" --to "$T/build"
"$GAME_BUILD" --seed "$SEED" --shape large --mb $((PACK_MB * 3)) --to "$T/packs"
mv "$T/packs/pak/data0.pak" "$T/build/pak/big.pak"
"$PUBLISH" --from "$T/build" --to "$T/tree" --deltas 2 >/dev/null
serve "$T/tree"
"$UPDATE" --datahost "$DATAHOST" --work "$T/v1" >/dev/null
unserve

mapfile -t files < <(cd "$T/build" && find . -type f ! -name big.pak -printf '%P\n' | sort)
n=${#files[@]} edited=0
for ((i = 0; i < n; i += 33)); do
  size=$(stat -c %s "$T/build/${files[i]}")
  edit "$T/build/${files[i]}" $((size / 2)) 16
  edited=$((edited + 1))
done
"$GAME_BUILD" --seed $((SEED + 1)) --shape small --files $((n / 100)) --to "$T/added"
cp -r "$T/added/data" "$T/build/added"
blocks=$((PACK_MB * 16))
for ((b = 0; b < blocks; b += 100)); do edit "$T/build/pak/big.pak" $((b * 65536)) 65536; done
start=$(now_ns)
"$PUBLISH" --from "$T/build" --to "$T/tree" --deltas 2 >"$T/out"
echo "bench: $edited files edited, $((n / 100)) added, $((blocks / 100)) pack blocks changed; publish $(seconds $(($(now_ns) - start))) s" >&2
grep -h "^wan-publish: from the last" "$T/out" >&2

serve "$T/tree" --rate "$RATE" --latency "$LATENCY_MS"
for n in 1 8; do
  rm -rf "$T/full" "$T/patched"
  cp -r "$T/v1" "$T/full" && cp -r "$T/v1" "$T/patched"
  rm -f "$T/full/log.txt" "$T/patched/log.txt"
  full_ns[n]=$(timed_update "$T/full" --no-patches --connections $n)
  patched_ns[n]=$(timed_update "$T/patched" --connections $n)
  diff -r -x log.txt "$T/full" "$T/patched" >/dev/null || { echo "bench: the patched folder differs" >&2; exit 1; }
  ! grep -q "patch not used" "$T/patched/log.txt" || { echo "bench: a patch fell back" >&2; exit 1; }
done
read -r full_bytes full_requests < <(wire "$T/full" "$T/tree")
read -r patched_bytes patched_requests < <(wire "$T/patched" "$T/tree")
unserve
# The changed files alone: their patches against their payloads.
changed_payloads=$(grep -o "download file [^ ]*\.patch" "$T/patched/log.txt" |
  sed "s|download file $DATAHOST||; s|%20| |g; s|\.[0-9]*-\([0-9]*\)\.patch$|.\1|" |
  while IFS= read -r f; do stat -c %s "$T/tree/$f"; done | awk '{ s += $1 } END { print s }')
patches=$(grep -o "download file [^ ]*\.patch" "$T/patched/log.txt" |
  sed "s|download file $DATAHOST||; s|%20| |g" |
  while IFS= read -r f; do stat -c %s "$T/tree/$f"; done | awk '{ s += $1 } END { print s }')

echo "bench: one 1 KiB edit in the middle of a $BIG_MB MiB pack" >&2
mkdir -p "$T/big"
"$GAME_BUILD" --seed "$SEED" --shape large --mb $((BIG_MB * 3)) --to "$T/bigpacks"
mv "$T/bigpacks/pak/data0.pak" "$T/big/big.pak" && rm -rf "$T/bigpacks"
"$PUBLISH" --from "$T/big" --to "$T/bigtree" --deltas 2 >/dev/null
serve "$T/bigtree" --rate "$RATE" --latency "$LATENCY_MS"
"$UPDATE" --datahost "$DATAHOST" --work "$T/bigwork" >/dev/null
unserve
edit "$T/big/big.pak" $((BIG_MB << 19)) 1024
start=$(now_ns)
"$PUBLISH" --from "$T/big" --to "$T/bigtree" --deltas 2 >/dev/null
big_publish=$(($(now_ns) - start))
serve "$T/bigtree" --rate "$RATE" --latency "$LATENCY_MS"
rm -f "$T/bigwork/log.txt"
sync
start=$(now_ns)
/usr/bin/time -f %M -o "$T/peak" "$UPDATE" --datahost "$DATAHOST" --work "$T/bigwork" >/dev/null
big_ns=$(($(now_ns) - start))
read -r big_bytes big_requests < <(wire "$T/bigwork" "$T/bigtree")
unserve
cmp -s "$T/big/big.pak" "$T/bigwork/big.pak" || { echo "bench: the patched pack differs" >&2; exit 1; }

echo
echo "patch day on ${RATE_MBIT}Mbit/${LATENCY_MS}ms:"
echo "  full payloads:  $full_bytes bytes in $full_requests requests"
echo "  with patches:   $patched_bytes bytes in $patched_requests requests"
echo "  patches $patches bytes for changed files whose payloads are $changed_payloads bytes: $(awk -v a="$patches" -v b="$changed_payloads" 'BEGIN { printf "%.3f", a / b }')  (target <= 0.10)"
for n in 1 8; do
  echo "  N=$n: $(seconds "${patched_ns[n]}") s with patches, $(seconds "${full_ns[n]}") s with full payloads: $(awk -v a="${patched_ns[n]}" -v b="${full_ns[n]}" 'BEGIN { printf "%.3f", a / b }')  (target <= 0.15)"
done
echo "one 1 KiB edit in a $BIG_MB MiB pack: $big_bytes bytes on the wire in $big_requests requests (target <= 524288),"
echo "  update $(seconds "$big_ns") s, peak memory $(cat "$T/peak") KiB; publish $(seconds "$big_publish") s"
