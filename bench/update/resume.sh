#!/usr/bin/env bash
# Benchmark of resumed transfers. Usage: resume.sh WAN_PUBLISH WAN_UPDATE TREE_SERVER GAME_BUILD
# Settings (environment): BENCH_RESUME_MB (1024: the file cut at 90 %), BENCH_KILL_MB (96: the
# build of the kill runs, three large files), BENCH_KILLS (8), BENCH_RATE_MBIT (100) and
# BENCH_SEED (1).
#
# Cut: one file of BENCH_RESUME_MB MiB of repeated text (it packs in seconds, where game-like
# data of that size takes xz most of an hour on a busy machine); the tree server closes its answer
# at 90 % of the payload and the update goes on from there in its next attempt, which decodes the
# kept part again. Bytes fetched again = bytes the server sent - the tree (target: at most 4 MiB).
# Kills: an update on the modelled link is killed with -9 at random moments BENCH_KILLS times,
# each run going on from what the last one left, then runs to its end. Bytes the server sent for
# all runs / the payloads (target: at most 1.05).
set -euo pipefail
PUBLISH=$1 UPDATE=$2 SERVER=$3 GAME_BUILD=$4
RESUME_MB=${BENCH_RESUME_MB:-1024} KILL_MB=${BENCH_KILL_MB:-96} KILLS=${BENCH_KILLS:-8}
source "$(dirname "$0")/lib.sh" bench-resume

served() { sleep 0.3; cat "$T/served"; }

echo "bench: publishing one file of $RESUME_MB MiB" >&2
mkdir -p "$T/build-cut"
yes "resume run row of compressible game data" | head -c "$((RESUME_MB << 20))" >"$T/build-cut/large.pak" || true
"$PUBLISH" --from "$T/build-cut" --to "$T/tree-cut" --content-list >/dev/null
payload=$(stat -c %s "$T/tree-cut/large.pak.1")
rm -f "$T/served"
serve "$T/tree-cut" --served "$T/served" --cut-once $((payload * 9 / 10))
start=$(date +%s%N)
"$UPDATE" --datahost "$DATAHOST" --work "$T/work-cut" >"$T/out"
took=$((($(date +%s%N) - start) / 1000000))
sent=$(served)
unserve
cmp -s "$T/build-cut/large.pak" "$T/work-cut/large.pak" || { echo "bench: the cut file differs" >&2; exit 1; }
lists=$(($(tree_bytes "$T/tree-cut") - payload))
again=$((sent - payload - lists))
echo "cut at 90 %: payload $payload bytes, the server sent $sent (manifests and list $lists), fetched again $again bytes ($((again >> 10)) KiB; target <= 4096 KiB), $took ms"
tail -1 "$T/out"
set_aside "$T/work-cut"

echo "bench: $KILLS kills of an update of $KILL_MB MiB on a ${RATE_MBIT} Mbit/s link" >&2
"$GAME_BUILD" --seed "$SEED" --shape large --mb "$KILL_MB" --to "$T/build-kill"
"$PUBLISH" --from "$T/build-kill" --to "$T/tree-kill" --content-list >/dev/null
payloads=$(tree_bytes "$T/tree-kill")
rm -f "$T/served"
serve "$T/tree-kill" --served "$T/served" --rate "$RATE"
run_ms=$((payloads * 1000 / RATE))
for k in $(seq 1 "$KILLS"); do
  "$UPDATE" --datahost "$DATAHOST" --work "$T/work-kill" >/dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v r="$RANDOM" -v ms="$run_ms" -v n="$KILLS" 'BEGIN { printf "%.3f", r / 32768 * ms / n / 1000 * 2 }')"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done
"$UPDATE" --datahost "$DATAHOST" --work "$T/work-kill" >"$T/out"
sent=$(served)
unserve
diff -rq --exclude='*.version' --exclude=log.txt --exclude=versions.txt --exclude=gamefiles.txt \
  --exclude='contentlist.*' "$T/build-kill" "$T/work-kill" >/dev/null ||
  { echo "bench: the killed update's folder differs" >&2; exit 1; }
echo "$KILLS kills: the tree's bytes $payloads, the server sent $sent, ratio $(awk -v a="$sent" -v b="$payloads" 'BEGIN { printf "%.3f", a / b }') (target <= 1.05)"
