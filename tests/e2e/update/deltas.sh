# Patches on the road: publish, update, publish changes with --deltas 2, update again. Changed
# files come down as patches, new ones as payloads, and the folder equals a fresh install; a
# client told to ignore patches updates from the same tree; patches whose base left the last
# two publishes are deleted.
source "$(dirname "$0")/lib.sh"

B=$T/build TREE=$T/tree
mkdir -p "$B/sub dir" "$B/resourcelib"
compressible_text 2000000 pack >"$B/sub dir/pack 1.pak"
head -c 300000 /dev/urandom >"$B/random.bin"
echo "alpha" >"$B/a.txt"
echo "cached resource" >"$B/resourcelib/r.dat"
"$PUBLISH" --from "$B" --to "$TREE" >/dev/null || fail "first publish"
start_server "$TREE"
"$UPDATE" --datahost "$DATAHOST" --work "$T/w" >/dev/null || fail "first update"
cp -r "$T/w" "$T/old"

# edit FILE OFFSET TEXT: TEXT written over FILE's bytes at OFFSET, its size unchanged.
edit() { printf '%s' "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
edit "$B/sub dir/pack 1.pak" 1000000 "a small edit in the middle of the pack"
edit "$B/random.bin" 150000 "edited"
echo "new" >"$B/new.txt"
"$PUBLISH" --from "$B" --to "$TREE" --deltas 2 >"$T/out" || fail "publish --deltas 2"
grep -q "unsigned content list" "$T/out" || fail "--deltas writes the content list"
[[ -f "$TREE/sub dir/pack 1.pak.1-2.patch" && -f $TREE/random.bin.1-2.patch ]] || fail "no patches"
[[ $(grep -c "^patch" "$TREE/contentlist.txt") -ge 2 ]] || fail "patches listed"

# downloads WORK: the game files WORK's last run downloaded, as URLs' last parts.
downloads() { { grep -o "download file [^ ]*" "$1/log.txt" || true; } | grep -v '?t=' | sed 's|.*/||'; }
mv "$T/w/log.txt" "$T/log1"
"$UPDATE" --datahost "$DATAHOST" --work "$T/w" >/dev/null || fail "update with patches"
same_as_build "$B" "$TREE" "$T/w"
[[ $(downloads "$T/w" | sort | tr '\n' ' ') == "new.txt.1 pack%201.pak.1-2.patch random.bin.1-2.patch " ]] ||
  fail "patches of the changed files: $(downloads "$T/w" | tr '\n' ' ')"
patch_bytes=$(stat -c %s "$TREE/sub dir/pack 1.pak.1-2.patch" "$TREE/random.bin.1-2.patch" | awk '{ s += $1 } END { print s }')
payload_bytes=$(stat -c %s "$TREE/sub dir/pack 1.pak.2" "$TREE/random.bin.2" | awk '{ s += $1 } END { print s }')
echo "deltas: patches of $patch_bytes bytes in place of payloads of $payload_bytes bytes"
((patch_bytes * 20 < payload_bytes)) || fail "patches are not small: $patch_bytes of $payload_bytes"
grep -q "patch not used" "$T/w/log.txt" && fail "a patch fell back"

"$UPDATE" --datahost "$DATAHOST" --work "$T/fresh" >/dev/null || fail "fresh install"
diff -r -x log.txt "$T/fresh" "$T/w" || fail "patched folder differs from a fresh install"

# A client that ignores patches updates from the same tree with the payloads.
cp -r "$T/old" "$T/nopatch" && rm "$T/nopatch/log.txt"
"$UPDATE" --datahost "$DATAHOST" --work "$T/nopatch" --no-patches >/dev/null || fail "--no-patches"
same_as_build "$B" "$TREE" "$T/nopatch"
downloads "$T/nopatch" | grep -q patch && fail "--no-patches downloaded a patch"

# The pack changes again: patches to version 3 from 1 and 2, the one to 2 is gone; once the
# next publish no longer reaches back to version 1, its patch goes too.
edit "$B/sub dir/pack 1.pak" 500000 "another edit"
"$PUBLISH" --from "$B" --to "$TREE" --deltas 2 >/dev/null || fail "third publish"
ls "$TREE/sub dir" | grep patch | tr '\n' ' ' >"$T/patches"
[[ $(cat "$T/patches") == "pack 1.pak.1-3.patch pack 1.pak.2-3.patch " ]] || fail "patches to 3: $(cat "$T/patches")"
cp -r "$T/old" "$T/v1" && rm "$T/v1/log.txt"
"$UPDATE" --datahost "$DATAHOST" --work "$T/v1" >/dev/null || fail "update from version 1"
same_as_build "$B" "$TREE" "$T/v1"
downloads "$T/v1" | grep -qx "pack%201.pak.1-3.patch" || fail "version 1 takes its patch"
"$PUBLISH" --from "$B" --to "$TREE" --deltas 2 >/dev/null || fail "fourth publish"
[[ $(ls "$TREE/sub dir" | grep patch) == "pack 1.pak.2-3.patch" ]] || fail "the patch from 1 stays"
[[ $(ls "$TREE/history") == $'versions.2.txt\nversions.3.txt' ]] || fail "history: $(ls "$TREE/history")"
# The old road on a new tree: a client that reads the manifests alone, as launchers before
# content lists did, installs the build from a tree that has patches, mirrors, a tree id and an
# expiry, since the manifests and payloads are what they always were.
"$PUBLISH" --from "$B" --to "$TREE" --deltas 2 --mirror http://127.0.0.1:9/ --tree prod \
  --expires 30d >/dev/null || fail "publish with every option"
O=$T/old-road
while IFS=$'\t' read -r name version _; do
  [[ $name == clientVersion ]] && continue
  local_name=${name//standalone\//}
  [[ $local_name == *resourcelib/* ]] && local_name="Cached/$local_name.$version"
  mkdir -p "$(dirname "$O/$local_name")"
  curl -sf "$DATAHOST${name// /%20}.$version" | xz -dc >"$O/$local_name" || fail "old road: $name"
  echo "$version" >"$O/$local_name.version"
done < <(tail -n +2 "$TREE/versions.txt")
same_as_build "$B" "$TREE" "$O"
echo "deltas passed"
