# kill -9 of wan-update in the middle of a large file, then a run: the second run asks only for
# the rest (the tree server counts what it sends), and the folder ends identical to the build.
source "$(dirname "$0")/lib.sh"

A=$T/build W=$T/work TREE=$T/tree
mkdir -p "$A"
# Bytes xz cannot shrink: the payload is as large as the file, and the transfer takes seconds.
head -c 6000000 /dev/urandom >"$A/big.pak"
compressible_text 20000 small >"$A/small.txt"
"$PUBLISH" --from "$A" --to "$TREE" --content-list >/dev/null
payload=$(stat -c %s "$TREE/big.pak.1")
start_server "$TREE" --rate 3000000 --served "$T/served"

"$UPDATE" --datahost "$DATAHOST" --work "$W" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 2000); do
  [[ $(stat -c %s "$W/big.pak.tmp" 2>/dev/null || echo 0) -gt 2000000 ]] && break
  sleep 0.01
done
kill -9 "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
kept=$(stat -c %s "$W/big.pak.tmp" 2>/dev/null || echo 0)
[[ $kept -gt 2000000 && $kept -lt $payload ]] || fail "the kill did not land in the large file ($kept bytes kept)"
[[ -s $W/big.pak.tmp.range ]] || fail "no record beside the kept part"

"$UPDATE" --datahost "$DATAHOST" --work "$W" >"$T/out" || fail "the run after the kill"
grep -q "continues from byte $kept" "$W/log.txt" || fail "the second run did not continue at byte $kept"
wire=$(sed -n 's/^wan-update: \([0-9]*\) bytes over the wire, \([0-9]*\) bytes installed$/\1/p' "$T/out")
installed=$(sed -n 's/^wan-update: \([0-9]*\) bytes over the wire, \([0-9]*\) bytes installed$/\2/p' "$T/out")
[[ -n $wire ]] || fail "no bytes line: $(cat "$T/out")"
# The rest of the large file, the small one and the manifests and list: well under the payload.
[[ $wire -lt $((payload - kept + 200000)) ]] || fail "the second run moved $wire bytes, $kept of $payload were kept"
# The game files and the manifests and list of this run.
expected=$(cat "$A/big.pak" "$A/small.txt" "$W/versions.txt" "$W/gamefiles.txt" "$W/contentlist.txt" | wc -c)
[[ $installed == "$expected" ]] || fail "the second run installed $installed bytes, not $expected"
same_as_build "$A" "$TREE" "$W"
[[ ! -e $W/big.pak.tmp.range ]] || fail "the record outlived the install"
# Both runs together: the payload once, what the killed run had in flight, and the small files.
sleep 0.2
total=$(cat "$T/served")
[[ $total -lt $((payload + payload / 10 + 200000)) ]] || fail "the tree server sent $total bytes for a payload of $payload"
echo "resume test passed: kept $kept of $payload bytes, the second run moved $wire, the server sent $total"
