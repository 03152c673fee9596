# Shared by the end-to-end scripts that run the launcher: bounded waits on conditions, and
# finding and ending the processes a run started. The sourcing script sets wait_limit (seconds
# any one stage may take) and defines fail MESSAGE.

# Gone, or ended and not yet reaped.
process_ended() {
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 0
  [[ -z $state || $state == Z ]]
}

# The processes whose program is FILE: the game runs in a session of its own, started by the
# launcher, and is found by the file it runs, which only the test's folder has.
pids_running() {
  find /proc -mindepth 2 -maxdepth 2 -name exe -lname "$1" 2>/dev/null | cut -d/ -f3
}

# Ends PID (when set): asked first, killed after 10 s.
stop() {
  [[ -n $1 ]] || return 0
  kill "$1" 2>/dev/null || true
  local deadline=$((SECONDS + 10))
  while ! process_ended "$1" && ((SECONDS < deadline)); do sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# wait_for STAGE COMMAND...: runs COMMAND every tenth of a second until it succeeds; fails
# the test naming STAGE when it has not within the limit.
wait_for() {
  local stage=$1 deadline=$((SECONDS + wait_limit))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || fail "$stage did not happen within $wait_limit s"
    sleep 0.1
  done
}
