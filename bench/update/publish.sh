#!/usr/bin/env bash
# Benchmark of wan-publish on a game-like build: one thread against every core, next to tar of
# the same build piped into xz -6 on every core, the floor of a tool that compresses it all.
# Usage: publish.sh WAN_PUBLISH GAME_BUILD
# Settings (environment): BENCH_SEED (1), BENCH_PUBLISH_MB (140: the mixed build's size),
# BENCH_ROUNDS (3: the fastest counts, the machine's other work only ever adds time).
set -euo pipefail
PUBLISH=$1 GAME_BUILD=$2
MB=${BENCH_PUBLISH_MB:-140} CORES=$(nproc)
source "$(dirname "$0")/lib.sh" bench-publish

now_ns() { date +%s%N; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.2f", ns / 1e9 }'; }
min() { if [[ -z $1 || $2 -lt $1 ]]; then echo "$2"; else echo "$1"; fi; }

"$GAME_BUILD" --seed "$SEED" --shape mixed --mb "$MB" --to "$T/build"
echo "bench: $(find "$T/build" -type f | wc -l) files, $(du -sb "$T/build" | cut -f1) bytes" >&2
one="" all="" xz=""
for ((round = 0; round < ROUNDS; round++)); do
  for threads in 1 "$CORES"; do
    set_aside "$T/tree"
    sync
    start=$(now_ns)
    "$PUBLISH" --from "$T/build" --to "$T/tree" --threads "$threads" >/dev/null
    took=$(($(now_ns) - start))
    if [[ $threads == 1 ]]; then one=$(min "$one" $took); else all=$(min "$all" $took); fi
  done
  start=$(now_ns)
  tar -c -C "$T/build" . | xz -6 -T"$CORES" >/dev/null
  xz=$(min "$xz" $(($(now_ns) - start)))
  echo "bench: round $((round + 1)) of $ROUNDS done" >&2
done
echo
echo "wan-publish, 1 thread:  $(seconds "$one") s"
echo "wan-publish, $CORES threads: $(seconds "$all") s ($(awk -v a="$all" -v b="$xz" 'BEGIN { printf "%.2f", a / b }') of tar | xz)"
echo "tar | xz -6 -T$CORES:     $(seconds "$xz") s"
echo "target: wan-publish on every core <= 1.10 of tar | xz"
