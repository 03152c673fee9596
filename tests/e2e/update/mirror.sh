# Mirrors: wan-publish --mirror names a second host of the tree in its (unsigned) list; a data host
# that lost the payloads but still serves the manifests and the list updates a work folder from
# the mirror, the log naming the switch, and asks the data host for the first file only.
source "$(dirname "$0")/lib.sh"

B=$T/build W=$T/work TREE=$T/tree DATA=$T/data
mkdir -p "$B/data" "$DATA/standalone/launcher"
echo "alpha" >"$B/a.txt"
compressible_text 300000 map >"$B/data/map.pak"
head -c 100000 /dev/urandom >"$B/random.bin"

rc=0; "$PUBLISH" --from "$B" --to "$TREE" --mirror "ftp://m/" 2>/dev/null || rc=$?
[[ $rc == 2 ]] || fail "a mirror that is no http(s) folder URL exits $rc"

# The mirror serves the tree's own folder; its port is known once it listens.
start_server "$TREE"
MIRROR_PID=$SERVER_PID MIRROR=$DATAHOST
trap 'kill "$MIRROR_PID" 2>/dev/null || true; wait "$MIRROR_PID" 2>/dev/null || true; cleanup' EXIT
rm "$T/port"
"$PUBLISH" --from "$B" --to "$TREE" --mirror "${MIRROR%/}" | grep -q "unsigned content list" ||
  fail "--mirror writes the list"
grep -qxP "mirror\t$MIRROR" "$TREE/contentlist.txt" || fail "the list names the mirror as a folder"

# The data host: the manifests and the list, no payload.
cp "$TREE/versions.txt" "$TREE/contentlist.txt" "$DATA/"
cp "$TREE/standalone/launcher/gamefiles.txt" "$DATA/standalone/launcher/"
start_server "$DATA"
"$UPDATE" --datahost "$DATAHOST" --work "$W" >"$T/out" || fail "update through the mirror"
grep -q "3 files downloaded, folder current" "$T/out" || fail "update summary"
same_as_build "$B" "$TREE" "$W"
grep -q ": $DATAHOST failed, next mirror $MIRROR" "$W/log.txt" || fail "the switch is logged"
# One connection asks the data host for the first file's three attempts only; several ask it for
# each file that starts before one has worked on the mirror.
if [[ -z ${CONNECTIONS:-} ]]; then
  [[ $(grep -c "download file $DATAHOST[^?]* to" "$W/log.txt") == 3 ]] ||
    fail "the data host was asked again after a file moved to the mirror"
fi
echo "mirrors passed"
