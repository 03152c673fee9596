#!/usr/bin/env bash
# What signing costs an update. Usage: signed.sh WAN_PUBLISH WAN_UPDATE TREE_SERVER GAME_BUILD
# Times a full update of a signed tree with the key (every download hashed as it is written)
# against the same update without it, on the game-like builds of run.sh (the large,
# bandwidth-bound shape and the small, latency-bound one), on loopback and on the modelled link,
# with one connection and, for the small shape, with eight: wall time and the CPU time of the
# process. Then a --verify run of the current folder (every installed file hashed) against a
# plain no-op run, on loopback.
# Settings (environment): BENCH_SEED (1), BENCH_SMALL_FILES (2000), BENCH_LARGE_MB (96),
# BENCH_RATE_MBIT (100), BENCH_LATENCY_MS (20), BENCH_ROUNDS (3 on loopback; one on the link,
# whose times vary little), BENCH_SHAPES ("large small").
set -euo pipefail
PUBLISH=$1 UPDATE=$2 SERVER=$3 GAME_BUILD=$4
command -v /usr/bin/time >/dev/null || { echo "bench: /usr/bin/time is missing (scripts/setup)" >&2; exit 1; }

source "$(dirname "$0")/lib.sh" bench-signed

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
s() { awk -v ms="$1" 'BEGIN { printf "%.2f", ms / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }

# full SHAPE LINK N: unsigned against signed full updates, interleaved rounds, the fastest of
# each counts: the machine's other work only ever adds time. Dirty pages of the run before are
# written out first (sync), so that no run pays for another's writeback.
full() {
  local shape=$1 link=$2 n=$3 rounds=$ROUNDS
  [[ $link == loopback ]] || rounds=1
  unset plain_wall plain_cpu signed_wall signed_cpu
  for ((round = 0; round < rounds; round++)); do
    set_aside "$T/work"; sync
    run plain --connections "$n"
    set_aside "$T/work"; sync
    run signed --connections "$n" --key "$T/bench.pub"
  done
  printf '%-6s %-12s %2s  %7s s (cpu %6s)  %7s s (cpu %6s)   %6s %6s\n' "$shape" "$link" "$n" \
    "$(s "$plain_wall")" "$(s "$plain_cpu")" "$(s "$signed_wall")" "$(s "$signed_cpu")" \
    "$(ratio "$signed_wall" "$plain_wall")" "$(ratio "$signed_cpu" "$plain_cpu")" >>"$T/rows"
}

# verify SHAPE: a no-op update of the current folder against one hashing every installed file.
verify() {
  unset noop_wall noop_cpu check_wall check_cpu
  for ((round = 0; round < ROUNDS; round++)); do
    run noop --key "$T/bench.pub"
    run check --key "$T/bench.pub" --verify
  done
  printf '%-6s no-op %7s s (cpu %6s)   with --verify %7s s (cpu %6s)\n' "$1" \
    "$(s "$noop_wall")" "$(s "$noop_cpu")" "$(s "$check_wall")" "$(s "$check_cpu")" >>"$T/verify"
}

(cd "$T" && "$PUBLISH" --new-key bench >/dev/null)
make_builds
for shape in $SHAPES; do
  "$PUBLISH" --from "$T/build-$shape" --to "$T/tree-$shape" --sign "$T/bench.key" >/dev/null
  counts="1"
  [[ $shape == small ]] && counts="1 8"
  for link in loopback "${RATE_MBIT}Mbit/${LATENCY_MS}ms"; do
    if [[ $link == loopback ]]; then serve "$T/tree-$shape"; else serve "$T/tree-$shape" --rate "$RATE" --latency "$LATENCY_MS"; fi
    for n in $counts; do full "$shape" "$link" "$n"; done
    [[ $link == loopback ]] && verify "$shape"
    unserve
    echo "bench: $shape on $link done" >&2
  done
done

echo
echo "shape  link          N   unsigned               signed                 ratio: wall    cpu"
cat "$T/rows"
echo "target: signed within 5 % of unsigned (ratio <= 1.05)"
echo
cat "$T/verify"
