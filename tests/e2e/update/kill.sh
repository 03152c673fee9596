# kill -9 of wan-update at random moments of an update from one published build to the next,
# then a normal run: right after every kill every marker is a whole version word and names no
# version whose content the file does not hold, and the folder ends byte-identical to the new
# build. REPEAT=1 lists two entries of the new build twice.
source "$(dirname "$0")/lib.sh"

A=$T/build-a B=$T/build-b W=$T/work TREE=$T/tree
KILLS=${KILLS:-20}
mkdir -p "$A/maps" "$A/data"
for i in $(seq 1 60); do compressible_text $((i * 7919 % 40000 + 100)) "a$i" >"$A/data/f$i.dat"; done
for i in 1 2 3 4; do compressible_text 1500000 "map$i" >"$A/maps/m$i.pak"; done
"$PUBLISH" --from "$A" --to "$TREE" >/dev/null
start_server "$TREE"
"$UPDATE" --datahost "$DATAHOST" --work "$W" >/dev/null || fail "update to the first build"

# The second build changes every other file; unchanged files keep version 1.
cp -r "$A" "$B"
for i in $(seq 1 2 60); do compressible_text $((i * 7919 % 40000 + 300)) "b$i" >"$B/data/f$i.dat"; done
for i in 1 3; do compressible_text 1600000 "map-b$i" >"$B/maps/m$i.pak"; done
"$PUBLISH" --from "$B" --to "$TREE" >/dev/null
[[ -z ${REPEAT:-} ]] || printf 'data/f1.dat\nmaps/m1.pak\n' >>"$TREE/standalone/launcher/gamefiles.txt"

# version<TAB>name<TAB>md5 of every content a marker may name.
(cd "$A" && find . -type f -printf '%P\n' | sort | xargs md5sum) | awk '{print "1\t" $2 "\t" $1}' >"$T/expected"
awk -F'\t' '$2 == 2 { print $1 }' "$TREE/versions.txt" | (cd "$B" && xargs md5sum) |
  awk '{print "2\t" $2 "\t" $1}' >>"$T/expected"
[[ $(grep -c '^2' "$T/expected") == 32 ]] || fail "the second build changes 32 files"

check_markers() {
  local partial
  partial=$(find "$W" -type f -name '*.version' -exec grep -Lx '[0-9][0-9]*' {} +)
  [[ -z $partial ]] || fail "an empty or partial marker (kill $1): $partial"
  (cd "$W" && { grep -r --include='*.version' . || true; }) |
    sed 's|^\./||; s|\.version:|\t|' >"$T/markers"
  [[ -s $T/markers ]] || return 0
  (cd "$W" && cut -f1 "$T/markers" | xargs md5sum) >"$T/sums" 2>/dev/null ||
    fail "a marker without its file (kill $1)"
  awk -F'\t' 'FILENAME == ARGV[1] { ok[$0] = 1; next }
              FILENAME == ARGV[2] { version[$1] = $2; next }
              { split($0, f, "  "); key = version[f[2]] "\t" f[2] "\t" f[1]
                if (!ok[key]) { print "bad marker: " key; bad = 1 } }
              END { exit bad }' "$T/expected" "$T/markers" "$T/sums" ||
    fail "a marker names content its file does not hold (kill $1)"
}

# Every kill interrupts a whole update from the first build's folder, at a random moment of it.
cp -a "$W" "$T/snapshot"
start=$(date +%s%N)
"$UPDATE" --datahost "$DATAHOST" --work "$W" >/dev/null || fail "timing run"
run_ms=$((($(date +%s%N) - start) / 1000000 + 1))

for k in $(seq 1 "$KILLS"); do
  rm -rf "$W" && cp -a "$T/snapshot" "$W"
  "$UPDATE" --datahost "$DATAHOST" --work "$W" >/dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v r="$RANDOM" -v ms="$run_ms" 'BEGIN { printf "%.3f", r / 32768 * ms / 1000 }')"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  check_markers "$k"
done

"$UPDATE" --datahost "$DATAHOST" --work "$W" >/dev/null || fail "the normal run after the kills"
same_as_build "$B" "$TREE" "$W"
echo "kill test passed: $KILLS kills over a run of $run_ms ms"
