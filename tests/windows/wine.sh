# Wine for the Windows tests, sourced. `wine_prefix DIR [TEMPLATE]` points Wine at DIR/wine and
# everything Wine or the programs could write (home, XDG folders) at DIR, so nothing outside
# DIR is touched but through Z:, the host's root, where tests name their own folders only.
# `wine_run` then runs Wine in the prefix's locale. Wine's menu builder is off: it would copy
# shell links to the host's desktop menus.
#
# The prefix speaks Chinese as a player's system does: LANG=zh_CN.UTF-8 with the locale built
# into DIR/locale (the host need not have it), so GetACP() is 936; WenQuanYi Micro Hei is
# installed in its Fonts folder. A TEMPLATE made by wine_prefix before (scripts/build-windows
# keeps one in its cache) is copied instead of booting a new prefix, which takes a minute.

wine_environment() {
  local dir=$1
  mkdir -p "$dir/home" "$dir/locale" "$dir/tmp"
  # Wine keeps its server's socket folder under TMPDIR.
  export TMPDIR=$dir/tmp HOME=$dir/home XDG_CONFIG_HOME=$dir/home/.config XDG_DATA_HOME=$dir/home/.local/share
  export XDG_CACHE_HOME=$dir/home/.cache XDG_RUNTIME_DIR=$dir/home/runtime
  export WINEPREFIX=$dir/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" DISPLAY=
  WINE_LOCPATH=$dir/locale
  if [[ ! -d $WINE_LOCPATH/zh_CN.UTF-8 ]]; then
    localedef -i zh_CN -f UTF-8 "$WINE_LOCPATH/zh_CN.UTF-8" >/dev/null 2>&1 ||
      { echo "wine.sh: the zh_CN.UTF-8 locale could not be built" >&2; return 1; }
  fi
}

# wine_run SECONDS ARGUMENTS...: Wine in the Chinese locale, ended after SECONDS; the test's
# other programs keep the caller's locale.
wine_run() {
  timeout "$1" env LOCPATH="$WINE_LOCPATH" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine "${@:2}"
}

# The shell folders Wine links to the host's home become folders of the prefix, and the
# Chinese font goes into the prefix's Fonts folder.
wine_sandbox() {
  local link font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
  while IFS= read -r link; do
    rm "$link" && mkdir "$link"
  done < <(find "$WINEPREFIX/drive_c/users" -type l)
  [[ -f $font ]] || { echo "wine.sh: $font is missing (fonts-wqy-microhei)" >&2; return 1; }
  cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
}

wine_prefix() {
  local dir=$1 template=${2:-}
  wine_environment "$dir" || return 1
  if [[ -n $template && -f $template/.complete ]]; then
    cp -a "$template" "$WINEPREFIX"
  else
    wine_run 300 wineboot --init >/dev/null 2>&1 &&
      timeout 120 wineserver -w &&
      wine_sandbox && touch "$WINEPREFIX/.complete" ||
      { echo "wine.sh: the Wine prefix could not be made" >&2; return 1; }
  fi
  # The server stays up until wine_stop: one that ends a few seconds after the last program can
  # be caught exiting by the next ("recvmsg: connection reset by peer").
  timeout 30 wineserver -p || { echo "wine.sh: the Wine server did not start" >&2; return 1; }
}

# xvfb_start DIR: an X server of the test's own on the first free display number, which it
# reports once it is ready (up to 30 s); sets XVFB_DISPLAY and XVFB_PID. Wine runs without a
# display unless DISPLAY=$XVFB_DISPLAY is given to wine_run.
xvfb_start() {
  exec 8< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>"$1/xvfb.log" & echo $!)
  read -r XVFB_PID <&8
  local number
  read -r -t 30 number <&8 || { exec 8<&-; echo "wine.sh: Xvfb did not start" >&2; return 1; }
  exec 8<&-
  XVFB_DISPLAY=:$number
}

xvfb_stop() {
  [[ -n ${XVFB_PID:-} ]] && kill "$XVFB_PID" 2>/dev/null
  return 0
}

# The host path as Wine's Z: drive (the host's root) names it.
winpath() { echo "Z:${1//\//\\}"; }

# Ends this prefix's Wine server and every program still running in it.
wine_stop() {
  [[ -n ${WINEPREFIX:-} ]] && timeout 30 wineserver -k 2>/dev/null
  return 0
}
