#!/usr/bin/env bash
# Benchmark of the update engine on game-like data, on loopback and on a modelled link.
# Usage: run.sh WAN_PUBLISH WAN_UPDATE TREE_SERVER GAME_BUILD
# Settings (environment): BENCH_SEED (1), BENCH_SMALL_FILES (2000: the latency-bound shape),
# BENCH_LARGE_MB (96: the bandwidth-bound shape, three files), BENCH_RATE_MBIT (100) and
# BENCH_LATENCY_MS (20: the link), BENCH_MEM_MB (1024: the large file of the memory comparison),
# BENCH_ROUNDS (3 on loopback; one on the link, whose times vary little), BENCH_SHAPES ("large
# small").
#
# For each shape and link it times wan-update with 1 and 8 connections against one curl process
# (one kept-alive connection, the same URLs) followed by xz -d, a no-op update against cat of
# every marker, and gives the link's floor for a one-connection client: bytes on the wire /
# bandwidth + requests x time to first byte. Peak memory compares an update of one 16 MiB file
# with one of BENCH_MEM_MB MiB; that file is repeated text, which packs and decodes fast.
set -euo pipefail
PUBLISH=$1 UPDATE=$2 SERVER=$3 GAME_BUILD=$4
MEM_MB=${BENCH_MEM_MB:-1024}
for tool in curl xz /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/setup)" >&2; exit 1; }
done

source "$(dirname "$0")/lib.sh" bench-update

now_ns() { date +%s%N; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.2f", ns / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
min() { if [[ -z $1 || $2 -lt $1 ]]; then echo "$2"; else echo "$1"; fi; }

# curl_config TREE: the baseline's URL list, the same URLs as the update, into one folder.
curl_config() {
  echo "url = \"${DATAHOST}/versions.txt?t=1\""
  echo "output = \"$T/curl/versions.txt\""
  echo "url = \"${DATAHOST}standalone/launcher/gamefiles.txt?t=1\""
  echo "output = \"$T/curl/gamefiles.txt\""
  tail -n +3 "$1/versions.txt" | while IFS=$'\t' read -r name version _; do
    echo "url = \"${DATAHOST}$name.$version\""
    echo "output = \"$T/curl/$name.xz\""
  done
}

# same_files BUILD WORK: every file of the build is installed with its bytes.
same_files() {
  diff -rq --exclude='*.version' --exclude=log.txt --exclude=versions.txt \
    --exclude=gamefiles.txt "$1" "$2" >/dev/null || { echo "bench: $2 differs from $1" >&2; exit 1; }
}

# measure SHAPE LINK [SERVER OPTIONS]: one row per connection count. Each measurement is taken
# ROUNDS times, interleaved, and the fastest counts: the machine's other work only ever adds
# time. Dirty pages of the step before are written out first (sync), so that no step pays for
# another's writeback.
measure() {
  local shape=$1 link=$2 tree=$T/tree-$1 build=$T/build-$1 rounds=$ROUNDS
  [[ $link == loopback ]] || rounds=1
  serve "$tree" "${@:3}"
  curl_config "$tree" >"$T/curl.cfg"
  local full1="" full8="" base="" noop1="" noop8="" cat_ns="" start n
  for ((round = 0; round < rounds; round++)); do
    for n in 1 8; do
      set_aside "$T/work"
      sync
      start=$(now_ns)
      "$UPDATE" --datahost "$DATAHOST" --work "$T/work" --connections "$n" >/dev/null
      local took=$(($(now_ns) - start))
      if [[ $n == 1 ]]; then full1=$(min "$full1" $took); else full8=$(min "$full8" $took); fi
      [[ $round -gt 0 ]] || same_files "$build" "$T/work"
      sync
      start=$(now_ns)
      "$UPDATE" --datahost "$DATAHOST" --work "$T/work" --connections "$n" >/dev/null
      took=$(($(now_ns) - start))
      if [[ $n == 1 ]]; then noop1=$(min "$noop1" $took); else noop8=$(min "$noop8" $took); fi
    done
    find "$T/work" -name '*.version' -print0 >"$T/markers"
    start=$(now_ns)
    xargs -0 -a "$T/markers" cat >/dev/null
    cat_ns=$(min "$cat_ns" $(($(now_ns) - start)))

    set_aside "$T/curl"
    sync
    start=$(now_ns)
    curl -s --fail --create-dirs -H "Connection: Keep-Alive" --config "$T/curl.cfg"
    find "$T/curl" -name '*.xz' -print0 | xargs -0 xz -d
    base=$(min "$base" $(($(now_ns) - start)))
  done
  unserve
  local floor="" files requests bytes
  files=$(($(wc -l <"$tree/versions.txt") - 2))
  requests=$((files + 2))
  bytes=$(tree_bytes "$tree")
  if [[ $link != loopback ]]; then
    floor=$(awk -v b="$bytes" -v r="$RATE" -v n="$requests" -v l="$LATENCY_MS" \
      'BEGIN { printf "%.0f", (b / r + n * l / 1000) * 1e9 }')
  fi
  for n in 1 8; do
    local full=$full1 noop=$noop1
    [[ $n == 1 ]] || full=$full8 noop=$noop8
    printf '%-6s %-9s %2s  %7s s  %7s s  %5s   %7s  %5s   %6s s  %6s s  %5s\n' "$shape" "$link" "$n" \
      "$(seconds "$full")" "$(seconds "$base")" "$(ratio "$full" "$base")" \
      "${floor:+$(seconds "$floor") s}" "${floor:+$(ratio "$full" "$floor")}" \
      "$(seconds "$noop")" "$(seconds "$cat_ns")" "$(ratio "$noop" "$cat_ns")" >>"$T/rows"
  done
  echo "bench: $shape on $link done ($files files, $bytes bytes on the wire)" >&2
}

# Peak memory of an update whose one file is SIZE_MB MiB, with N connections.
peak_kb() {
  local size_mb=$1 n=$2 dir=$T/mem$1
  if [[ ! -d $dir/tree ]]; then
    mkdir -p "$dir/build"
    yes "memory run row of compressible game data" | head -c "$((size_mb << 20))" >"$dir/build/large.pak" || true
    "$PUBLISH" --from "$dir/build" --to "$dir/tree" >/dev/null
  fi
  rm -rf "$dir/work"
  serve "$dir/tree"
  /usr/bin/time -f %M -o "$dir/peak" "$UPDATE" --datahost "$DATAHOST" --work "$dir/work" --connections "$n" >/dev/null
  unserve
  cmp -s "$dir/build/large.pak" "$dir/work/large.pak" || { echo "bench: memory run differs" >&2; exit 1; }
  cat "$dir/peak"
}

make_builds
for shape in $SHAPES; do
  "$PUBLISH" --from "$T/build-$shape" --to "$T/tree-$shape" >/dev/null
  echo "bench: $shape build $(du -sb "$T/build-$shape" | cut -f1) bytes, published $(tree_bytes "$T/tree-$shape") bytes" >&2
done

for shape in $SHAPES; do
  measure "$shape" loopback
  measure "$shape" "${RATE_MBIT}Mbit/${LATENCY_MS}ms" --rate "$RATE" --latency "$LATENCY_MS"
done

echo "bench: memory runs with one file of 16 MiB and of $MEM_MB MiB" >&2
mem=()
for n in 1 8; do mem+=("$(peak_kb 16 "$n")" "$(peak_kb "$MEM_MB" "$n")"); done

echo
echo "shape  link       N   update     curl+xz    ratio     floor  xfloor    no-op      cat       ratio"
cat "$T/rows"
echo
echo "targets on the link: large N=1 <= 0.80 of curl+xz and <= 1.10 of the floor; small N=8 <= 0.25 of curl+xz; no-op <= 2 of cat"
for i in 0 1; do
  n=$((i == 0 ? 1 : 8))
  small=${mem[$((i * 2))]} large=${mem[$((i * 2 + 1))]}
  echo "peak memory N=$n  $small KiB with 16 MiB   $large KiB with $MEM_MB MiB   difference $(((large - small) / 1024)) MiB  (target < 10 MiB)"
done
