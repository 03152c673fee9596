# Signed trees: wan-publish --new-key and --sign, wan-update --key and --verify. A signed tree
# installs; a payload swapped after signing fails that file and installs nothing wrong; a
# manifest changed after signing, an older signed tree after a newer one and a tree signed with
# another key stop the update; --verify finds and repairs a changed file and a missing one; and
# a client without a key reads the signed tree as any other.
source "$(dirname "$0")/lib.sh"

B=$T/build W=$T/work TREE=$T/tree
mkdir -p "$B/data" "$B/resourcelib"
echo "alpha" >"$B/a.txt"
compressible_text 300000 map >"$B/data/map.pak"
head -c 100000 /dev/urandom >"$B/random.bin"
echo "cached resource" >"$B/resourcelib/r.dat"

cd "$T"
"$PUBLISH" --new-key publisher >"$T/out" || fail "--new-key"
grep -q "LAUNCHER_UPDATE_PUBLIC_KEY=$(cat publisher.pub)$" "$T/out" || fail "--new-key names the build setting"
[[ $(stat -c %a publisher.key) == 600 ]] || fail "the secret key is readable by others"
rc=0; "$PUBLISH" --new-key publisher 2>/dev/null || rc=$?
[[ $rc == 1 ]] || fail "--new-key over an existing key exits $rc"
"$PUBLISH" --new-key other >/dev/null

# Signing adds two files and changes none: the unsigned publish of the same build is the same.
"$PUBLISH" --from "$B" --to "$T/plain" >/dev/null
"$PUBLISH" --from "$B" --to "$TREE" --sign publisher.key | grep -q "sequence 1" || fail "first signed publish"
diff -r -x contentlist.txt -x contentlist.sig "$T/plain" "$TREE" >/dev/null || fail "signing changed the tree"
grep -qP "^file\tdata/map.pak\t1\t300000\t$(sha256sum "$B/data/map.pak" | cut -d' ' -f1)$" \
  "$TREE/contentlist.txt" || fail "the list gives the unpacked size and hash"
start_server "$TREE"

update() { "$UPDATE" --datahost "$DATAHOST" --work "$W" --key "$T/publisher.pub" "$@"; }

update >"$T/out" || fail "signed update"
grep -q "4 files downloaded, folder current" "$T/out" || fail "signed update summary"
same_as_build "$B" "$TREE" "$W"
[[ $(cat "$W/contentlist.seq") == 1 ]] || fail "the sequence is accepted"

# A client without a key reads the signed tree as an unsigned one.
"$UPDATE" --datahost "$DATAHOST" --work "$T/unsigned" >/dev/null || fail "unsigned client"
same_as_build "$B" "$TREE" "$T/unsigned"

# A payload swapped on the server after signing: that file fails, nothing wrong is installed.
echo "alpha 2" >"$B/a.txt"
"$PUBLISH" --from "$B" --to "$TREE" --sign publisher.key | grep -q "sequence 2" || fail "second publish"
cp "$TREE/a.txt.2" "$T/a.txt.2.good"
echo "evil" | xz >"$TREE/a.txt.2"
rc=0; update >/dev/null 2>&1 || rc=$?
[[ $rc == 1 ]] || fail "swapped payload exits $rc"
[[ $(cat "$W/a.txt") == alpha && $(cat "$W/a.txt.version") == 1 ]] || fail "the old a.txt is kept"
grep -q "download $W/a.txt failed: the file has 5 bytes, not 8, not the signed content" "$W/log.txt" ||
  fail "the swapped payload is logged"
[[ ! -e $W/a.txt.tmp && ! -e $W/a.txt.tmp2 ]] || fail "temporary files left"
cp "$T/a.txt.2.good" "$TREE/a.txt.2"
update >/dev/null || fail "update after the payload is put back"
same_as_build "$B" "$TREE" "$W"

# A manifest changed after signing stops the update before anything is planned.
cp "$TREE/versions.txt" "$T/versions.good"
sed -i 's/^clientVersion\t1/clientVersion\t9/' "$TREE/versions.txt"
mv "$W/log.txt" "$T/log1"
rc=0; update >/dev/null 2>&1 || rc=$?
[[ $rc == 1 ]] || fail "changed manifest exits $rc"
grep -q "UpgradeDlg(331) : IsSignedManifest(contentList, m_VersionsFileName)" "$W/log.txt" ||
  fail "changed manifest logged"
grep -q "set client version 9" "$W/log.txt" && fail "the changed manifest was read"
cp "$T/versions.good" "$TREE/versions.txt"

# The older signed tree after the newer one: a replay, which would bring back old files.
cp -r "$TREE" "$T/tree2"
echo "alpha 3" >"$B/a.txt"
"$PUBLISH" --from "$B" --to "$T/tree2" --sign publisher.key | grep -q "sequence 3" || fail "third publish"
kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; rm -f "$T/port"
start_server "$T/tree2"
update >/dev/null || fail "update to sequence 3"
[[ $(cat "$W/a.txt") == "alpha 3" ]] || fail "sequence 3 installed"
kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; rm -f "$T/port"
start_server "$TREE"
rc=0; update >/dev/null 2>&1 || rc=$?
[[ $rc == 1 ]] || fail "rollback exits $rc"
grep -q "UpgradeDlg(333) : !IsRollback(contentList)" "$W/log.txt" || fail "rollback logged"
[[ $(cat "$W/a.txt") == "alpha 3" ]] || fail "the rollback installed an old file"

# Another key: nothing of the tree is trusted.
rc=0; "$UPDATE" --datahost "$DATAHOST" --work "$T/w3" --key "$T/other.pub" >/dev/null 2>&1 || rc=$?
[[ $rc == 1 ]] || fail "wrong key exits $rc"
grep -q "UpgradeDlg(330) : ReadSignedList(m_ContentListName, m_SignatureName)" "$T/w3/log.txt" ||
  fail "wrong key logged"
[[ ! -e $T/w3/a.txt ]] || fail "a file was installed under the wrong key"

# --verify: a file changed on disk and one deleted are found, downloaded again and listed.
kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; rm -f "$T/port"
start_server "$T/tree2"
update >/dev/null || fail "update before --verify"
update >"$T/out" || fail "plain update"
grep -q "0 files downloaded" "$T/out" || fail "a current folder downloads nothing"
echo "tampered" >"$W/data/map.pak"
update >"$T/out" || fail "update after tampering"
grep -q "0 files downloaded" "$T/out" || fail "without --verify the markers decide"
rm "$W/random.bin"
update --verify >"$T/out" || fail "--verify"
grep -q "wan-update: $W/data/map.pak has 9 bytes, not 300000" "$T/out" || fail "changed file listed"
grep -q "wan-update: $W/random.bin is missing" "$T/out" || fail "missing file listed"
grep -q "content check: 2 files not as signed" "$T/out" || fail "--verify summary"
grep -q "2 files downloaded, folder current" "$T/out" || fail "--verify repairs"
same_as_build "$B" "$T/tree2" "$W"
update --verify >"$T/out" || fail "second --verify"
grep -q "content check: 0 files not as signed" "$T/out" || fail "nothing left to repair"

# A tree signed with both keys while the key is replaced: clients of either key take it.
echo "alpha 4" >"$B/a.txt"
"$PUBLISH" --from "$B" --to "$T/tree2" --sign publisher.key --sign other.key >/dev/null ||
  fail "publish with two keys"
update >/dev/null || fail "old key after the rotation began"
"$UPDATE" --datahost "$DATAHOST" --work "$W" --key "$T/other.pub" >/dev/null ||
  fail "new key after the rotation began"
[[ $(cat "$W/a.txt") == "alpha 4" ]] || fail "the two-key tree installed"

rc=0; "$UPDATE" --datahost "$DATAHOST" --work "$W" --verify 2>/dev/null || rc=$?
[[ $rc == 2 ]] || fail "--verify without a key exits $rc"

# An unsigned publish over a signed tree warns that the list no longer matches.
"$PUBLISH" --from "$B" --to "$TREE" 2>&1 >/dev/null | grep -q "publish with --sign" ||
  fail "unsigned publish over a signed tree warns"
echo "signed trees passed"
