#!/usr/bin/env bash
# Ending ./run's window session with SIGINT or SIGTERM closes the window as its close button
# does: the settings file is written, the window and the simulator are gone, and so is the
# simulator's COM1 link. It starts without a warning outside a login session too.
#   tst_start_window.sh START_WINDOW BUILD_DIR
set -euo pipefail
start_window=$1 build=$2

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/start-window.XXXXXX")
session=""
trap '[ -z "$session" ] || kill -KILL "$session" 2>/dev/null; rm -rf "$scratch"' EXIT

# The child of $1 that runs the program $2, once there is one.
child_running() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(awk '/^PPid:/ { print $2 }' "$p/status" 2>/dev/null)" = "$1" ] || continue
    [ "$(readlink "$p/exe" 2>/dev/null)" = "$2" ] && echo "${p#/proc/}" && return 0
  done
  return 1
}

# Whether process $1 catches signal number $2 (SigCgt in its status is a hex mask).
catches() {
  local mask
  mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$mask" ] && (((0x$mask >> ($2 - 1)) & 1))
}

for signal in INT TERM; do
  dir=$scratch/$signal
  mkdir "$dir"
  # Outside a login session, as root on a console: no XDG_RUNTIME_DIR.
  (cd "$dir" && QT_QPA_PLATFORM=offscreen exec env -u XDG_RUNTIME_DIR "$start_window" "$build" \
    --sim >"$dir/log" 2>&1) &
  session=$!
  window=""
  # Until the window has taken over SIGTERM: a signal before that would only kill it.
  for _ in $(seq 400); do
    kill -0 "$session" 2>/dev/null || fail "$signal: the session ended early: $(cat "$dir/log")"
    window=$(child_running "$session" "$(readlink -f "$build/src/pwm5")") && catches "$window" 15 && break
    window=""
    sleep 0.05
  done
  [ -n "$window" ] || fail "$signal: no window ready after 20 s: $(cat "$dir/log")"
  [ -L "$dir/COM1" ] || fail "$signal: the simulator made no COM1 link"

  kill "-$signal" "$session"
  status=0
  wait "$session" || status=$?
  session=""
  [ "$status" -eq 0 ] || fail "$signal: the session ended with status $status: $(cat "$dir/log")"
  ! kill -0 "$window" 2>/dev/null || fail "$signal: the window still runs"
  [ "$(od -An -c "$dir/com.txt" | tr -s ' ')" = " 1 \\r \\n 9 6 0 0 \\r \\n" ] ||
    fail "$signal: com.txt holds '$(cat -A "$dir/com.txt" 2>/dev/null)'"
  [ ! -e "$dir/COM1" ] && [ ! -L "$dir/COM1" ] || fail "$signal: the COM1 link is still there"
  ! grep -q XDG_RUNTIME_DIR "$dir/log" || fail "$signal: a warning at start: $(cat "$dir/log")"
done
echo "start-window stops cleanly on SIGINT and SIGTERM"
