#!/usr/bin/env bash
# The Windows programs under 64-bit Wine. Usage: run.sh WINDOWS_BUILD LINUX_BUILD [TEMPLATE]
# WINDOWS_BUILD is the x86_64 build of scripts/build-windows; LINUX_BUILD has wan-publish,
# wan-update and the update tree server built for this machine; TEMPLATE is a Wine prefix made
# by wine.sh before, copied instead of making a new one.
#
# In a Chinese prefix of the test's own (code page 936): the system services and the name rules
# step over double-byte characters whose second byte is "\"; the programs carry the version
# resource; shell links are written and read back; wan-update.exe against a loopback tree server
# installs the same files and markers as the Linux wan-update for the same tree, in ASCII and
# with Chinese names (GBK on the Windows side), marks the markers hidden, replaces them (by a
# patch where the tree offers one), and a
# run over a current folder downloads nothing; a signed tree is checked as on Linux (there with
# libsodium's SHA-256, on Linux with libcrypto's): it installs, and a payload swapped after
# signing is refused; trees whose names Windows takes for a device, for one file with another
# or for a short name, and an entry that is the log under another name, are refused.
set -euo pipefail
WIN=$(cd "$1" && pwd) LINUX=$(cd "$2" && pwd) TEMPLATE=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../e2e/update/lib.sh" "$LINUX/tools/wan-publish/wan-publish" \
  "$LINUX/tools/wan-update/wan-update" "$LINUX/tests/e2e/update/update_tree_server"
source "$here/wine.sh"
UPDATE_EXE=$WIN/tools/wan-update/wan-update.exe CHECK_EXE=$WIN/tests/windows/win-check.exe
LAUNCHER_EXE=$WIN/launcher/Launcher.exe GAME_EXE=$WIN/tools/orca/orca.exe
VERSION=$(sed -n 's/^LAUNCHER_VERSION:STRING=//p' "$WIN/CMakeCache.txt")

trap 'wine_stop; xvfb_stop; cleanup' EXIT
wine_prefix "$T" "$TEMPLATE" || fail "no Wine prefix"
# The programs' current folder, which a started program inherits, is the test's own.
cd "$T"

# Text in code page 936, as the Windows programs read and print it.
gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }
check() { wine_run 60 "$CHECK_EXE" "$@"; }

# --- The system and the name rules in code page 936 ---
[[ $(check codepage | tr -d '\r') == 936 ]] || fail "the prefix's code page is not 936"
for exe in "$UPDATE_EXE" "$CHECK_EXE" "$LAUNCHER_EXE" "$GAME_EXE"; do
  got=$(check version "$(winpath "$exe")" | tr -d '\r') || fail "no version resource in $exe"
  [[ $got == "$VERSION" ]] || fail "$exe has version $got, not $VERSION"
done

# The launcher's resource script: strings as the launcher reads them, dialogs, pictures, icon.
[[ $(check string 130 | tr -d '\r') == "$(gbk '更新游戏')" ]] || fail "string 130"
title=$(sed -n 's/^LAUNCHER_GAME_TITLE:STRING=//p' "$WIN/CMakeCache.txt")
[[ $(check string 129 | tr -d '\r') == "$(gbk "$title")" ]] || fail "string 129"
for dialog in 102 104 204; do check resource 5 $dialog >/dev/null || fail "no dialog $dialog"; done
check resource 14 128 >/dev/null || fail "no icon 128"
for png in "$here"/../../resources/png/*.png; do
  size=$(check resource PNG "$(basename "$png" .png)" | tr -d '\r') || fail "no picture $png"
  ((size == $(stat -c %s "$png"))) || fail "picture $png has $size bytes"
done

# 乗 and 俓 end with the byte of "\", 丄 with that of "A": whole characters all the same.
name='乗\俓 丄.pak'
check names "$name" >"$T/names" || fail "names"
printf '%s\n' "http://h/$(gbk '乗/俓%20丄').pak.1" "C:\\w\\$(gbk '乗\俓 丄').pak" \
  "$(gbk '乗/俓 丄').pak" | diff - <(tr -d '\r' <"$T/names") >&2 ||
  fail "the name rules cut double-byte characters"

# --- The system's message box on an X server of the test's own: Chinese text and caption, given
# in code page 936, read back as Unicode by another process ---
xvfb_start "$T" || fail "no X server"
DISPLAY=$XVFB_DISPLAY wine_run 60 "$CHECK_EXE" messagebox "无法找到可写入的缓存磁盘！" "写入缓存失败" \
  >"$T/box" 2>&1 &
box_pid=$!
DISPLAY=$XVFB_DISPLAY check readbox 30 | tr -d '\r' >"$T/read" || fail "no message box"
wait "$box_pid" || fail "the message box: $(cat "$T/box")"
printf '%s\n' "写入缓存失败" "无法找到可写入的缓存磁盘！" | diff - "$T/read" >&2 ||
  fail "the message box shows other text"
[[ $(tr -d '\r' <"$T/box") == shown ]] || fail "the message box did not report being shown"

# --- Special folders and shell links, all inside the prefix ---
for folder in appdata desktop programs; do
  path=$(check folder "$folder" | tr -d '\r') || fail "no $folder folder"
  unix=$(wine_run 60 winepath -u "$path" 2>/dev/null | tr -d '\r')
  [[ $unix == "$WINEPREFIX"/* ]] || fail "the $folder folder $unix is outside the prefix"
done
desktop=$(check folder desktop | tr -d '\r')
mkdir -p "$WINEPREFIX/drive_c/游戏"
cp "$CHECK_EXE" "$WINEPREFIX/drive_c/游戏/Launcher.exe"
check shortcut "$desktop" "更新游戏" 'C:\游戏\Launcher.exe' 'C:\游戏' || fail "SaveShortcut"
link=$(wine_run 60 winepath -u "$desktop\\更新游戏.lnk" 2>/dev/null | tr -d '\r')
[[ -f $link ]] || fail "no shortcut at $link"
check readlink "$desktop\\更新游戏.lnk" | tr -d '\r' >"$T/link" || fail "the link does not read"
printf '%s\n' "$(gbk 'C:\游戏\Launcher.exe')" "$(gbk 'C:\游戏')" "$(gbk '更新游戏')" |
  diff - "$T/link" >&2 || fail "the link holds another target, folder or description"
# Saving again replaces the link.
check shortcut "$desktop" "更新游戏" 'C:\游戏\Other.exe' 'C:\游戏' || fail "second SaveShortcut"
check readlink "$desktop\\更新游戏.lnk" | tr -d '\r' | head -1 | grep -qF "$(gbk 'C:\游戏\Other.exe')" ||
  fail "the second link did not replace the first"
# The shell's verbs as the menu shows them, access-key marks dropped ("打开(&O)" is open). Wine
# offers no taskbar pin, so nothing is pinned here.
check verbs 'C:\游戏' Launcher.exe | tr -d '\r' >"$T/verbs" || fail "GetShellVerbs"
grep -qxF "$(gbk '打开(O)')" "$T/verbs" || fail "no open verb: $(iconv -f GBK <"$T/verbs")"
# A verb that is not there is refused, not run.
rc=0; check invoke 'C:\游戏' Launcher.exe 999 >"$T/invoke" 2>&1 || rc=$?
((rc == 1)) || fail "InvokeShellVerb of a missing verb ended with $rc: $(cat "$T/invoke")"

# Starting a program through the shell: its parameters and working folder, a relative name
# looked up in the working folder first.
mkdir -p "$WINEPREFIX/drive_c/游戏/工作"
[[ $(check start 'C:\游戏\Launcher.exe' 'touch "已 启动.txt"' 'C:\游戏\工作' | tr -d '\r') == 0 ]] ||
  fail "StartProcess"
[[ -f "$WINEPREFIX/drive_c/游戏/工作/已 启动.txt" ]] || fail "the started program did not run there"
[[ $(check start Launcher.exe 'touch relative.txt' 'C:\游戏' | tr -d '\r') == 0 ]] ||
  fail "StartProcess of a relative name"
[[ -f "$WINEPREFIX/drive_c/游戏/relative.txt" ]] || fail "the relative name did not start"

# Wine takes the application id but cannot give it back; Windows can.
rc=0; check appid "Vellmark.Launcher" >"$T/appid" 2>&1 || rc=$?
((rc == 0)) && { [[ $(tr -d '\r' <"$T/appid") == Vellmark.Launcher ]] || fail "appid"; }
((rc == 0)) || grep -q "GetCurrentProcessExplicitAppUserModelID failed" "$T/appid" ||
  fail "SetAppUserModelId: $(cat "$T/appid")"

# --- wan-update.exe next to the Linux wan-update ---
# wan_update_exe WORK [ARGS...]
wan_update_exe() {
  local work=$1
  shift
  wine_run 120 "$UPDATE_EXE" --datahost "$DATAHOST" --work "$(winpath "$work")" "$@"
}

stop_server() {
  kill "$SERVER_PID" 2>/dev/null || true
  wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID="" && rm -f "$T/port"
}

# same_folders A B [NAME...]: the same files with the same bytes, the log and NAMEs aside.
same_folders() {
  local list skip=(! -name log.txt) name
  for name in "${@:3}"; do skip+=(! -name "$name"); done
  list() { (cd "$1" && find . -type f "${skip[@]}" -printf '%P\n' | sort); }
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

# Changed files come down again over the hidden markers of the first run, as patches.
echo "alpha changed" >"$B/a.txt"
compressible_text 310000 map2 >"$B/sub dir/deeper/map 1.pak"
"$PUBLISH" --from "$B" --to "$TREE" --deltas 2 >/dev/null || fail "second publish"
"$UPDATE" --datahost "$DATAHOST" --work "$T/linux" >/dev/null || fail "second Linux update"
wan_update_exe "$T/windows" >"$T/out" || fail "second Windows update: $(cat "$T/out")"
grep -q "2 files downloaded, folder current" "$T/out" || fail "second summary: $(cat "$T/out")"
same_folders "$T/linux" "$T/windows"
grep -q "download file [^ ]*/a.txt.1-2.patch" "$T/windows/log.txt" || fail "no patch applied"
grep -q "patch not used" "$T/windows/log.txt" && fail "a patch fell back on Windows"

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
[[ $rc == 3 ]] || fail "swapped payload: status $rc"
grep -q "update refused: .*a.txt has 5 bytes" "$T/out" || fail "swapped payload: $(cat "$T/out")"
[[ $(cat "$T/windows/a.txt") == "alpha signed" ]] || fail "the swapped payload was installed"

stop_server

# --- Chinese names: the Linux tree in UTF-8, the same tree for Windows in GBK ---
# Wine stores names in UTF-8, so both work folders must end up the same, name for name.
C=$T/cbuild
mkdir -p "$C/数据/乗" "$C/standalone/launcher" "$C/resourcelib/俓"
echo "乗 folder" >"$C/数据/乗/地图 1.pak"
compressible_text 200000 cjk >"$C/数据/俓丄.dat"
echo "更新" >"$C/standalone/launcher/更新.dll"
echo "cached" >"$C/resourcelib/俓/资源.dat"
"$PUBLISH" --from "$C" --to "$T/ctree" --client-version 9 >/dev/null || fail "publish Chinese"
python3 - "$T/ctree" "$T/gbktree" <<'PY'
import os, sys
src, dst = sys.argv[1], sys.argv[2]
for folder, _, files in os.walk(src):
    for name in files:
        path = os.path.join(folder, name)
        relative = os.path.relpath(path, src)
        data = open(path, "rb").read()
        if relative in ("versions.txt", "standalone/launcher/gamefiles.txt"):
            data = data.decode("utf-8").encode("gbk")
        target = os.path.join(os.fsencode(dst), relative.encode("gbk"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        open(target, "wb").write(data)
PY
start_server "$T/ctree"
"$UPDATE" --datahost "$DATAHOST" --work "$T/clinux" >/dev/null || fail "Linux update, Chinese"
stop_server
start_server "$T/gbktree"
wan_update_exe "$T/cwindows" >"$T/out" || fail "Windows update, Chinese: $(cat "$T/out")"
grep -q "4 files downloaded, folder current, client version 9" "$T/out" ||
  fail "Windows summary, Chinese: $(cat "$T/out")"
# The manifest copies are the trees' own, in UTF-8 on Linux and GBK on Windows.
same_folders "$T/clinux" "$T/cwindows" versions.txt gamefiles.txt
cmp -s "$T/gbktree/versions.txt" "$T/cwindows/versions.txt" || fail "versions.txt copy, Chinese"
same_as_build "$C" "$T/ctree" "$T/cwindows"
[[ -f "$T/cwindows/数据/乗/地图 1.pak.version" ]] || fail "no marker beside 乗/地图 1.pak"
stop_server

# --- Names Windows takes for something else, in trees wan-publish would refuse: made by hand,
# served in GBK with every payload, so that without the refusal they would install ---
# refused_tree WHY NAME...: wan-update.exe stops at "file WHY, update stopped" in its log and
# writes nothing but its log and the manifests' copies into $T/hostile-work (which the caller
# may prepare; it is removed after).
refused_tree() {
  local why=$1 tree=$T/hostile work=$T/hostile-work name served rc=0
  shift
  written() { (cd "$work" && find . -type f ! -name log.txt ! -name versions.txt ! -name gamefiles.txt | sort); }
  rm -rf "$tree" && mkdir -p "$tree/standalone/launcher" "$work"
  { printf 'header\nclientVersion\t1\t0\n' && printf '%s\t1\t0\n' "$@"; } |
    iconv -f UTF-8 -t GBK >"$tree/versions.txt"
  printf '%s\n' "$@" | iconv -f UTF-8 -t GBK >"$tree/standalone/launcher/gamefiles.txt"
  for name in "$@"; do
    served=$tree/$(gbk "${name//\\//}").1
    mkdir -p "$(dirname "$served")" && echo "$name" | xz >"$served"
  done
  written >"$T/before"
  start_server "$tree"
  wan_update_exe "$work" >"$T/out" 2>&1 || rc=$?
  stop_server
  ((rc == 1)) || fail "a tree of $* ended with $rc: $(cat "$T/out")"
  grep -qF "$(gbk "file $why, update stopped")" "$work/log.txt" ||
    fail "$* stopped otherwise: $(cat "$T/out"; iconv -f GBK -t UTF-8 "$work/log.txt" | tail -3)"
  written | diff "$T/before" - >&2 || fail "a tree of $* wrote files"
  rm -rf "$work"
}
for name in CON nul.txt aux com1.dat LPT9 'sub\PRN.txt' 'CONIN$' 'conout$.log' 'Con .txt' data/AUX/x; do
  refused_tree "$name names a device on Windows" "$name"
done
refused_tree "ａ.txt would be written to the same file as Ａ.txt" Ａ.txt ａ.txt
refused_tree "σ.txt would be written to the same file as Σ.txt" Σ.txt σ.txt
refused_tree "д.txt would be written to the same file as Д.txt" Д.txt д.txt
refused_tree "ｄａｔａ/x would be written to the same file as ＤＡＴＡ/x" ＤＡＴＡ/x ｄａｔａ/x
refused_tree "GAMEFI~1.TXT may be the short name of another file on Windows" GAMEFI~1.TXT
refused_tree "LONGFI~1.DAT may be the short name of another file on Windows" \
  longfilename-1.dat LONGFI~1.DAT
# A file that is the launcher's log under another name (a hard link): its identity decides.
mkdir -p "$T/hostile-work" && echo "the log" >"$T/hostile-work/log.txt"
ln "$T/hostile-work/log.txt" "$T/hostile-work/alias.dat"
refused_tree "alias.dat would replace a file of the launcher" alias.dat
echo "windows tests passed"
