# Shared by the update end-to-end tests. Usage: source lib.sh PUBLISH UPDATE SERVER
set -euo pipefail
PUBLISH=$1 UPDATE=$2 SERVER=$3
T=$(mktemp -d "${TMPDIR:-/tmp}/update-e2e-XXXXXX")
SERVER_PID=""
cleanup() {
  if [[ -n $SERVER_PID ]]; then
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
  fi
  [[ -n ${KEEP:-} ]] || rm -rf "$T"
}
trap cleanup EXIT

# CONNECTIONS=N runs every update with --connections N.
if [[ -n ${CONNECTIONS:-} ]]; then
  printf '#!/bin/sh\nexec %q --connections %q "$@"\n' "$UPDATE" "$CONNECTIONS" >"$T/wan-update"
  chmod +x "$T/wan-update"
  UPDATE=$T/wan-update
fi

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_server TREE [SERVER OPTIONS]: serves TREE on loopback and sets DATAHOST.
start_server() {
  "$SERVER" "$1" "$T/port" "${@:2}" &
  SERVER_PID=$!
  for _ in $(seq 500); do [[ -s $T/port ]] && break; sleep 0.01; done
  [[ -s $T/port ]] || fail "the tree server did not start"
  DATAHOST="http://127.0.0.1:$(cat "$T/port")/"
}

# compressible_text SIZE SEED: SIZE bytes of text that differ with SEED.
compressible_text() {
  yes "seed $2 line of game data $2 $2" | head -c "$1" || true
}

# The game files (not the manifests) downloaded by the runs logged in WORK/log.txt, sorted.
downloaded() {
  { grep "download file .* to $1/" "$1/log.txt" || true; } | grep -v '?t=' |
    sed "s|.* to $1/||; s| \$||" | sort
}

# same_as_build BUILD TREE WORK: every listed file is installed with the build's bytes and
# its marker, and WORK holds nothing else but markers, the log and the manifest copies (and a
# signed tree's content list, its signature and the accepted sequence).
same_as_build() {
  local build=$1 tree=$2 work=$3 name version local expected
  expected=$(mktemp)
  while IFS=$'\t' read -r name version _; do
    [[ $name == clientVersion ]] && continue
    local=${name//standalone\//}
    [[ $local == *resourcelib/* ]] && local="Cached/$local.$version"
    echo "$local" >>"$expected"
    cmp -s "$build/$name" "$work/$local" || fail "$local differs from the build"
    [[ $(cat "$work/$local.version") == "$version" ]] || fail "$local has a wrong marker"
  done < <(tail -n +2 "$tree/versions.txt")
  (cd "$work" && find . -type f ! -name '*.version' ! -name log.txt ! -name versions.txt \
    ! -name gamefiles.txt ! -name 'contentlist.*' -printf '%P\n') | sort >"$T/installed"
  sort "$expected" | diff - "$T/installed" >/dev/null || fail "unexpected files in $work"
  rm -f "$expected"
}
