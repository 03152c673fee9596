# Publish a build, update an empty folder to it, change the build, publish again, update
# again: exactly the changed files come down, every file equals the build, and a third run
# downloads nothing.
source "$(dirname "$0")/lib.sh"

B=$T/build W=$T/work TREE=$T/tree-1
mkdir -p "$B/sub dir" "$B/数据" "$B/standalone/launcher" "$B/resourcelib"
echo "alpha" >"$B/a.txt"
echo "blank names" >"$B/sub dir/c d.txt"
compressible_text 300000 map >"$B/数据/地图 1.pak"
head -c 200000 /dev/urandom >"$B/random.bin"
: >"$B/empty"
echo "launcher part" >"$B/standalone/launcher/x.dll"
echo "cached resource" >"$B/resourcelib/r.dat"

"$PUBLISH" --help | grep -q "usage: wan-publish" || fail "wan-publish --help"
"$UPDATE" --help | grep -q "usage: wan-update" || fail "wan-update --help"
rc=0; "$UPDATE" --work "$W" 2>/dev/null || rc=$?
[[ $rc == 2 ]] || fail "wan-update without --datahost exits $rc"
for bad in 0 17 x 1x ""; do
  rc=0; "$UPDATE" --datahost http://127.0.0.1:1/ --work "$W" --connections "$bad" 2>/dev/null || rc=$?
  [[ $rc == 2 ]] || fail "wan-update --connections \"$bad\" exits $rc"
done
[[ ! -e $W ]] || fail "a refused command line touches nothing"
for bad in "--threads 0" "--threads x" "--large-file 4095" "--large-file 1x"; do
  rc=0; "$PUBLISH" --from "$B" --to "$TREE" $bad 2>/dev/null || rc=$?
  [[ $rc == 2 ]] || fail "wan-publish $bad exits $rc"
done
[[ ! -e $TREE ]] || fail "a refused publish writes nothing"

# With 1, 2 and 4 threads the build is the same tree, byte for byte: "地图 1.pak" (300 kB) and
# "random.bin" (200 kB), above --large-file, are cut into blocks of 25 kB whatever the threads.
for threads in 1 2 4; do
  "$PUBLISH" --from "$B" --to "$T/tree-$threads" --client-version 7 --threads $threads \
    --large-file 100000 | grep -q "7 files, 7 new or changed" || fail "first publish, $threads threads"
  diff -r "$TREE" "$T/tree-$threads" || fail "the tree of $threads threads differs from one thread's"
done
[[ -f $TREE/数据/地图\ 1.pak.1 ]] || fail "payload names"
xz -t "$TREE/a.txt.1" || fail "payloads are xz"
[[ $(xz --robot -l "$TREE/数据/地图 1.pak.1" | awk '$1 == "totals" { print $3 }') == 12 ]] ||
  fail "a large file is cut into blocks"
start_server "$TREE"

"$UPDATE" --datahost "$DATAHOST" --work "$W" >"$T/out" || fail "first update"
grep -q "7 files downloaded, folder current, client version 7" "$T/out" || fail "first summary"
same_as_build "$B" "$TREE" "$W"
[[ $(downloaded "$W" | wc -l) == 7 ]] || fail "first update downloads all seven"

echo "alpha changed" >"$B/a.txt"
compressible_text 310000 map2 >"$B/数据/地图 1.pak"
echo "new" >"$B/new file.txt"
touch "$B/sub dir/c d.txt"  # a new time stamp is no change
"$PUBLISH" --from "$B" --to "$TREE" --large-file 100000 >"$T/out" || fail "second publish"
grep -q "8 files, 3 new or changed, client version 7" "$T/out" || fail "second summary"
# What players download: the three new payloads from the last version, all eight from nothing.
payload_bytes() { while IFS= read -r name; do stat -c %s "$TREE/$name"; done | awk '{ s += $1 } END { print s }'; }
from_last=$(printf '%s\n' a.txt.2 "new file.txt.1" "数据/地图 1.pak.2" | payload_bytes)
from_nothing=$(tail -n +3 "$TREE/versions.txt" | awk -F '\t' '{ print $1 "." $2 }' | payload_bytes)
grep -qx "wan-publish: from the last version a player downloads 3 files, $from_last bytes" \
  "$T/out" || fail "download from the last version"
grep -qx "wan-publish: from nothing (a fresh install) a player downloads 8 files, $from_nothing bytes" \
  "$T/out" || fail "download from nothing"
grep -qP '^a.txt\t2\t' "$TREE/versions.txt" || fail "a.txt raised to 2"
grep -qP '^sub dir/c d.txt\t1\t' "$TREE/versions.txt" || fail "unchanged file keeps 1"

mv "$W/log.txt" "$T/log1"
"$UPDATE" --datahost "$DATAHOST" --work "$W" >/dev/null || fail "second update"
same_as_build "$B" "$TREE" "$W"
[[ $(downloaded "$W" | tr '\n' '|') == "a.txt|new file.txt|数据/地图 1.pak|" ]] ||
  fail "second update downloads exactly the changed files: $(downloaded "$W" | tr '\n' '|')"

mv "$W/log.txt" "$T/log2"
"$UPDATE" --datahost "$DATAHOST" --work "$W" >/dev/null || fail "third update"
[[ $(downloaded "$W" | wc -l) == 0 ]] || fail "third update downloads nothing"
grep -q "set client version 7" "$W/log.txt" || fail "client version logged"

# A file list naming a file the versions manifest lacks stops the update: status 1.
echo "ghost" >>"$TREE/standalone/launcher/gamefiles.txt"
rc=0; "$UPDATE" --datahost "$DATAHOST" --work "$W" >/dev/null 2>&1 || rc=$?
[[ $rc == 1 ]] || fail "stopped update exits $rc"
grep -q "UpgradeDlg(344) : versionInfos.GetInfo(filename, info)" "$W/log.txt" || fail "stop logged"
# --orca publishes a file from elsewhere as the build's orca.exe, in place of the build's own.
echo "stand-in game" >"$T/orca.bin"
echo "the build's own game" >"$B/orca.exe"
"$PUBLISH" --from "$B" --to "$T/tree2" --orca "$T/orca.bin" >/dev/null || fail "publish --orca"
grep -qP '^orca.exe\t1\t' "$T/tree2/versions.txt" || fail "orca.exe in versions.txt"
grep -qx orca.exe "$T/tree2/standalone/launcher/gamefiles.txt" || fail "orca.exe in gamefiles.txt"
[[ $(xz -dc "$T/tree2/orca.exe.1") == "stand-in game" ]] || fail "orca.exe is not the --orca file"
rc=0; "$PUBLISH" --from "$B" --to "$T/tree2" --orca "$T/no such file" 2>/dev/null || rc=$?
[[ $rc == 1 ]] || fail "--orca of a missing file exits $rc"

# refused_build WHY NAME...: wan-publish refuses a build of NAMEs, saying WHY; on Windows, where
# players install every tree, each kind would write a device or two entries as one file.
refused_build() {
  local why=$1 name rc=0
  shift
  rm -rf "$T/hostile" && mkdir "$T/hostile"
  for name in "$@"; do mkdir -p "$(dirname "$T/hostile/$name")" && echo "$name" >"$T/hostile/$name"; done
  "$PUBLISH" --from "$T/hostile" --to "$T/hostile-tree" 2>"$T/err" || rc=$?
  [[ $rc == 1 ]] && grep -qF "$why" "$T/err" || fail "published $*: $(cat "$T/err")"
}
refused_build "names a device on Windows" "sub/Nul.txt"
refused_build "names a device on Windows" "COM¹ .dat/x"
refused_build "would be installed as one file" "Ａ.txt" "ａ.txt"
refused_build "would be installed as one file" "Σ/x" "σ/x"
refused_build "may be the short name of another file on Windows" "GAMEFI~1.TXT"
echo "round trip passed"
