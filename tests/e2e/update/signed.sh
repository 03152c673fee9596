# Signed trees: wan-publish --new-key and --sign, wan-update --key and --verify. A signed tree
# installs; a payload swapped after signing is refused at once and installs nothing wrong; a
# manifest changed after signing, an older signed tree after a newer one and a tree signed with
# another key are refused (status 3, the reason printed); --verify finds and repairs a changed
# file and a missing one; a client without a key reads the signed tree as any other. Trees named
# and given an expiry (--tree, --expires): another tree of the same key, an expired list, a list
# below the lowest sequence and an unsigned tree under a key are each refused with their reason.
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
rc=0; update >/dev/null 2>"$T/err" || rc=$?
[[ $rc == 3 ]] || fail "swapped payload exits $rc"
grep -q "update refused: the download of $W/a.txt has 5 bytes, not 8, not the signed content" \
  "$T/err" || fail "the refusal of the swapped payload is printed"
grep -q "下载资源失败" "$T/err" && fail "the swapped payload was retried with boxes"
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
[[ $rc == 3 ]] || fail "changed manifest exits $rc"
[[ ! -e $W/versions.txt && ! -e $W/contentlist.txt ]] || fail "the refused tree's manifests stay"
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
[[ $rc == 3 ]] || fail "rollback exits $rc"
grep -q "UpgradeDlg(333) : !IsRollback(contentList)" "$W/log.txt" || fail "rollback logged"
[[ $(cat "$W/a.txt") == "alpha 3" ]] || fail "the rollback installed an old file"

# Another key: nothing of the tree is trusted.
rc=0; "$UPDATE" --datahost "$DATAHOST" --work "$T/w3" --key "$T/other.pub" >/dev/null 2>&1 || rc=$?
[[ $rc == 3 ]] || fail "wrong key exits $rc"
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
# serve TREE: the tree server serves TREE from now on.
serve() {
  kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; rm -f "$T/port"
  start_server "$1"
}
# refused REASON WORK [ARGS]: a fresh update of WORK is refused with REASON and installs nothing.
refused() {
  local reason=$1 work=$2 rc=0
  shift 2
  "$UPDATE" --datahost "$DATAHOST" --work "$work" --key "$T/publisher.pub" "$@" >"$T/out" \
    2>"$T/err" || rc=$?
  [[ $rc == 3 ]] || fail "$reason: exits $rc"
  grep -qF "wan-update: update refused: $reason" "$T/err" || fail "$reason: not printed"
  grep -q "下载资源失败" "$T/err" && fail "$reason: retried with boxes"
  grep -q "client version" "$T/out" && fail "$reason: a client version of a refused tree"
  [[ ! -e $work/a.txt && ! -e $work/versions.txt ]] || fail "$reason: something of the tree stays"
}

# Trees named at publishing: the beta tree, signed with the same key at a higher sequence, is
# no production tree for a launcher that expects "prod"; a list expiring in 30 days says so.
"$PUBLISH" --from "$B" --to "$T/prod" --sign publisher.key --tree prod --expires 30d >"$T/out" ||
  fail "publish with --tree and --expires"
grep -q "signed content list, sequence 1, tree prod, expires at " "$T/out" || fail "publish line"
expires=$(sed -n 's/^expires\t//p' "$T/prod/contentlist.txt")
(( expires > $(date +%s) + 29 * 86400 && expires <= $(date +%s) + 30 * 86400 )) ||
  fail "--expires 30d wrote $expires"
grep -qP "^tree\tprod$" "$T/prod/contentlist.txt" || fail "the list names its tree"
"$PUBLISH" --from "$B" --to "$T/beta" --sign publisher.key --tree beta >/dev/null
echo "beta" >"$B/beta.txt"
"$PUBLISH" --from "$B" --to "$T/beta" --sign publisher.key --tree beta | grep -q "sequence 2" ||
  fail "second beta publish"
rm "$B/beta.txt"
serve "$T/beta"
refused 'the content list is of tree "beta", not "prod"' "$T/w5" --tree prod
serve "$T/prod"
"$UPDATE" --datahost "$DATAHOST" --work "$T/w5" --key "$T/publisher.pub" --tree prod >/dev/null ||
  fail "the prod tree under --tree prod"
[[ $(cat "$T/w5/a.txt") == "alpha 4" ]] || fail "the prod tree installed"

# A fresh folder takes no list below the lowest sequence the launcher was built with.
refused "the content list has sequence 1, older than this launcher takes" "$T/w6" --min-sequence 2
grep -q "has sequence 1, older than the lowest this build takes, 2" "$T/w6/log.txt" ||
  fail "the lowest sequence is logged"

# A list that has expired: the server stopped being published. It expires a second after it is
# signed; the update is refused from then on.
"$PUBLISH" --from "$B" --to "$T/prod" --sign publisher.key --tree prod --expires 1s >/dev/null
for _ in $(seq 100); do
  rc=0; "$UPDATE" --datahost "$DATAHOST" --work "$T/w7" --key "$T/publisher.pub" >/dev/null \
    2>&1 || rc=$?
  [[ $rc == 3 ]] && break
  rm -rf "$T/w7"; sleep 0.1
done
rm -rf "$T/w7"
refused "the content list expired at " "$T/w7"

# An unsigned tree under a key: refused as unsigned at once, its list's 404 is not retried.
serve "$T/plain"
refused "the tree publishes no signed content list" "$T/w8"
grep -q "contentlist.txt?t=" "$T/w8/log.txt" && fail "the unsigned tree's list was retried"

rc=0; "$PUBLISH" --from "$B" --to "$T/x" --sign publisher.key --expires 2020-01-01 2>/dev/null ||
  rc=$?
[[ $rc == 2 ]] || fail "--expires in the past exits $rc"
rc=0; "$PUBLISH" --from "$B" --to "$T/x" --sign publisher.key --tree "a b" 2>/dev/null || rc=$?
[[ $rc == 2 ]] || fail "--tree with a blank exits $rc"
echo "signed trees passed"
