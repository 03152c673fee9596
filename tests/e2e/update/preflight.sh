# An update too large for its drive: on a small tmpfs (mounted here; skipped where mounting is
# not permitted) a tree whose content list gives the sizes is refused before its first byte, and
# one without sizes fails each transfer at once by its Content-Length; neither fills the disk.
source "$(dirname "$0")/lib.sh"

SMALL=$T/small
mkdir -p "$SMALL"
mount -t tmpfs -o size=4m tmpfs "$SMALL" 2>/dev/null || { echo "skipped: cannot mount a tmpfs"; exit 77; }
trap 'umount "$SMALL" 2>/dev/null || true; cleanup' EXIT

mkdir -p "$T/build"
head -c 6000000 /dev/urandom >"$T/build/big.pak"
compressible_text 20000 small >"$T/build/small.txt"
"$PUBLISH" --from "$T/build" --to "$T/sized" --content-list >/dev/null
"$PUBLISH" --from "$T/build" --to "$T/unsized" >/dev/null

# no_payload_written WORK: the work folder holds the manifests, the list and the log, no more.
no_payload_written() {
  local extra
  extra=$(cd "$1" && find . -type f ! -name log.txt ! -name versions.txt ! -name gamefiles.txt \
    ! -name 'contentlist.*' -printf '%P\n')
  [[ -z $extra ]] || fail "written on the small disk: $extra"
}

start_server "$T/sized"
! "$UPDATE" --datahost "$DATAHOST" --work "$SMALL/sized" >/dev/null 2>"$T/err" || fail "the sized update went on"
grep -q "the update needs .* bytes, .* are free, .* more are needed" "$SMALL/sized/log.txt" ||
  fail "no line naming what is missing"
grep -q "磁盘空间不足，无法写入$SMALL/" "$T/err" || fail "no disk-full box naming the drive"
if grep -q "download file .*big.pak" "$SMALL/sized/log.txt"; then fail "a payload was asked for"; fi
no_payload_written "$SMALL/sized"
kill "$SERVER_PID" && wait "$SERVER_PID" 2>/dev/null || true
SERVER_PID=""
rm -f "$T/port"

start_server "$T/unsized"
! "$UPDATE" --datahost "$DATAHOST" --work "$SMALL/unsized" >/dev/null 2>"$T/err" || fail "the unsized update succeeded"
grep -q "big.pak: .* bytes to write, .* free on $SMALL/" "$SMALL/unsized/log.txt" ||
  fail "no line for the body that does not fit"
grep -q "磁盘空间不足，无法写入$SMALL/unsized/big.pak" "$T/err" || fail "no disk-full box naming the file"
if grep -q "write .* failed" "$SMALL/unsized/log.txt"; then fail "the disk was filled"; fi
no_payload_written "$SMALL/unsized"
echo "preflight test passed"
