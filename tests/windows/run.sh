#!/usr/bin/env bash
# The Windows programs under 64-bit Wine. Usage: run.sh WINDOWS_BUILD LINUX_BUILD
# WINDOWS_BUILD is the x86_64 build of scripts/build-windows; LINUX_BUILD has wan-publish,
# wan-update and the update tree server built for this machine.
#
# wan-update.exe against a loopback tree server installs the same files and markers as the
# Linux wan-update for the same tree, marks the markers hidden, and a run over a current
# folder downloads nothing; a signed tree is checked with libsodium as on Linux: it installs, and
# a payload swapped after signing is refused.
set -euo pipefail
WIN=$1 LINUX=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../e2e/update/lib.sh" "$LINUX/tools/wan-publish/wan-publish" \
  "$LINUX/tools/wan-update/wan-update" "$LINUX/tests/e2e/update/update_tree_server"
UPDATE_EXE=$WIN/tools/wan-update/wan-update.exe

# Wine in a prefix of the test's own: no dialogs, no display, no Mono or Gecko.
export WINEPREFIX=$T/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
wine_stop() { wineserver -k 2>/dev/null || true; }
trap 'wine_stop; cleanup' EXIT
timeout 300 wine wineboot --init >/dev/null 2>&1 || fail "the Wine prefix could not be made"

# The host path as Wine's Z: drive names it.
winpath() { echo "Z:${1//\//\\}"; }

# wan_update_exe WORK [ARGS...]
wan_update_exe() {
  local work=$1
  shift
  timeout 120 wine "$UPDATE_EXE" --datahost "$DATAHOST" --work "$(winpath "$work")" "$@"
}

# same_folders A B: the same files with the same bytes, the log and manifest copies aside.
same_folders() {
  local list
  list() { (cd "$1" && find . -type f ! -name log.txt -printf '%P\n' | sort); }
  diff <(list "$1") <(list "$2") >&2 || fail "$1 and $2 hold different files"
  while IFS= read -r name; do
    cmp -s "$1/$name" "$2/$name" || fail "$name differs between $1 and $2"
  done < <(list "$1")
}

# Wine keeps the DOS attributes of a file in the user.DOSATTRIB extended attribute (where the
# file system has them; none at all for a plain file); 0x2 is hidden.
is_hidden() {
  python3 - "$1" <<'PY'
import errno, os, sys
try:
    value = os.getxattr(sys.argv[1], "user.DOSATTRIB").decode().strip("\0")
except OSError as error:
    sys.exit(1 if error.errno == errno.ENODATA else 2)
sys.exit(0 if int(value, 16) & 2 else 1)
PY
}

B=$T/build TREE=$T/tree
mkdir -p "$B/sub dir/deeper" "$B/standalone/launcher" "$B/resourcelib"
echo "alpha" >"$B/a.txt"
echo "blank names" >"$B/sub dir/c d.txt"
compressible_text 300000 map >"$B/sub dir/deeper/map 1.pak"
head -c 200000 /dev/urandom >"$B/random.bin"
: >"$B/empty"
echo "launcher part" >"$B/standalone/launcher/x.dll"
echo "cached resource" >"$B/resourcelib/r.dat"
"$PUBLISH" --from "$B" --to "$TREE" --client-version 7 >/dev/null || fail "publish"
start_server "$TREE"

"$UPDATE" --datahost "$DATAHOST" --work "$T/linux" >/dev/null || fail "Linux update"
wan_update_exe "$T/windows" >"$T/out" || fail "Windows update: $(cat "$T/out")"
grep -q "7 files downloaded, folder current, client version 7" "$T/out" ||
  fail "Windows summary: $(cat "$T/out")"
same_folders "$T/linux" "$T/windows"
same_as_build "$B" "$TREE" "$T/windows"

rc=0; is_hidden "$T/windows/a.txt.version" || rc=$?
case $rc in
  0) ;;
  1) fail "markers are not hidden" ;;
  *) echo "note: this file system keeps no DOS attributes; hidden markers not checked" >&2 ;;
esac

# Changed files come down again over the hidden markers of the first run.
echo "alpha changed" >"$B/a.txt"
compressible_text 310000 map2 >"$B/sub dir/deeper/map 1.pak"
"$PUBLISH" --from "$B" --to "$TREE" >/dev/null || fail "second publish"
"$UPDATE" --datahost "$DATAHOST" --work "$T/linux" >/dev/null || fail "second Linux update"
wan_update_exe "$T/windows" >"$T/out" || fail "second Windows update: $(cat "$T/out")"
grep -q "2 files downloaded, folder current" "$T/out" || fail "second summary: $(cat "$T/out")"
same_folders "$T/linux" "$T/windows"

wan_update_exe "$T/windows" >"$T/out" || fail "third Windows update"
grep -q "0 files downloaded, folder current" "$T/out" || fail "third summary: $(cat "$T/out")"

"$PUBLISH" --new-key "$T/publisher" >/dev/null || fail "new key"
signed_update_exe() { wan_update_exe "$T/windows" --key "$(cat "$T/publisher.pub")"; }
echo "alpha signed" >"$B/a.txt"
"$PUBLISH" --from "$B" --to "$TREE" --sign "$T/publisher.key" >/dev/null || fail "signed publish"
signed_update_exe >"$T/out" || fail "signed Windows update: $(cat "$T/out")"
grep -q "1 files downloaded, folder current" "$T/out" || fail "signed summary: $(cat "$T/out")"
[[ $(cat "$T/windows/a.txt") == "alpha signed" ]] || fail "the signed a.txt is not installed"

echo "alpha swapped" >"$B/a.txt"
"$PUBLISH" --from "$B" --to "$TREE" --sign "$T/publisher.key" >/dev/null || fail "signed publish"
version=$(awk -F'\t' '$1 == "a.txt" { print $2 }' "$TREE/versions.txt")
echo "evil" | xz >"$TREE/a.txt.$version"
rc=0; signed_update_exe >"$T/out" 2>&1 || rc=$?
[[ $rc == 1 ]] || fail "swapped payload: status $rc"
[[ $(cat "$T/windows/a.txt") == "alpha signed" ]] || fail "the swapped payload was installed"
echo "windows wan-update passed"
