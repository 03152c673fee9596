#!/usr/bin/env bash
# The i686 programs import only DLLs that every Windows has. Usage: imports.sh WINDOWS_BUILD
# WINDOWS_BUILD is the i686 build of scripts/build-windows. A program linked against one of
# MinGW's runtime DLLs (libstdc++, libgcc, libwinpthread) would start only where that DLL lies
# beside it, so players would get a missing-DLL box instead of the launcher.
set -euo pipefail
WIN=$(cd "$1" && pwd)
# What the programs import today; a new system DLL is added here knowingly.
allowed="advapi32.dll bcrypt.dll gdi32.dll gdiplus.dll kernel32.dll msvcrt.dll ole32.dll
oleaut32.dll shell32.dll user32.dll version.dll ws2_32.dll"

status=0
for exe in launcher/Launcher.exe tools/orca/orca.exe tools/wan-update/wan-update.exe; do
  [[ -f $WIN/$exe ]] || { echo "FAIL: $WIN/$exe is missing" >&2 && exit 1; }
  dlls=$(i686-w64-mingw32-objdump -p "$WIN/$exe" | sed -n 's/^\s*DLL Name: //p' |
    tr 'A-Z' 'a-z') || { echo "FAIL: objdump cannot read $exe" >&2 && exit 1; }
  [[ -n $dlls ]] || { echo "FAIL: $exe imports nothing, which no program does" >&2 && exit 1; }
  for dll in $dlls; do
    [[ " ${allowed//$'\n'/ } " == *" $dll "* ]] ||
      { echo "FAIL: $exe imports $dll" >&2 && status=1; }
  done
done
((status == 0)) && echo "windows imports passed"
exit "$status"
