# Sourced by the update benchmarks: `source lib.sh NAME` after setting PUBLISH, UPDATE, SERVER
# and GAME_BUILD. Reads the common settings, makes the temporary folder $T (removed at exit with
# the tree server) and offers make_builds, tree_bytes, serve/unserve and set_aside.
SEED=${BENCH_SEED:-1} SMALL=${BENCH_SMALL_FILES:-2000} LARGE_MB=${BENCH_LARGE_MB:-96}
SHAPES=${BENCH_SHAPES:-large small}
RATE_MBIT=${BENCH_RATE_MBIT:-100} LATENCY_MS=${BENCH_LATENCY_MS:-20} ROUNDS=${BENCH_ROUNDS:-3}
RATE=$((RATE_MBIT * 1000000 / 8))

T=$(mktemp -d "${TMPDIR:-/tmp}/$1-XXXXXX")
SERVER_PID=""
cleanup() {
  if [[ -n $SERVER_PID ]]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
  rm -rf "$T"
}
trap cleanup EXIT

# make_builds: the two game-like builds from the seed, $T/build-small and $T/build-large.
make_builds() {
  echo "bench: generating and publishing $SMALL small files and $LARGE_MB MiB in three large ones (seed $SEED)" >&2
  "$GAME_BUILD" --seed "$SEED" --shape small --files "$SMALL" --to "$T/build-small"
  "$GAME_BUILD" --seed "$SEED" --shape large --mb "$LARGE_MB" --to "$T/build-large"
}

# tree_bytes DIR: the bytes of every file below DIR.
tree_bytes() { find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }'; }

# serve TREE [SERVER OPTIONS]: serves TREE on loopback and sets DATAHOST.
serve() {
  rm -f "$T/port"
  "$SERVER" "$1" "$T/port" "${@:2}" &
  SERVER_PID=$!
  for _ in $(seq 500); do [[ -s $T/port ]] && break; sleep 0.01; done
  [[ -s $T/port ]] || { echo "bench: the tree server did not start" >&2; exit 1; }
  DATAHOST="http://127.0.0.1:$(cat "$T/port")/"
}
unserve() { kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; SERVER_PID=""; }

# set_aside DIR: DIR is gone before a timed run, moved below $T/old, which goes at exit. Deleting
# it there would bill the run: ext4 without a journal (as on the build machine) will not reuse an
# inode freed in the last half minute, and skips each of them one by one for every file it
# creates, so a run after the deletion of 2,000 files' folder spent seconds of system time there,
# with one connection or with eight. $T grows by a work folder per timed run meanwhile.
set_aside() {
  [[ -e $1 ]] || return 0
  mkdir -p "$T/old"
  mv "$1" "$(mktemp -d "$T/old/XXXXXX")"
}
