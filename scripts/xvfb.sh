# A private X server for the scripts that show windows; shared by scripts/windows-test and
# bench/common.sh.
# shellcheck shell=bash

# xvfb_start DIR: starts Xvfb (1280x1024, 24 bits, no TCP) as XVFB_PID, its log and the
# display it took in DIR, and exports DISPLAY once it has said which; when it does not start,
# says so and ends the script.
xvfb_start() {
  local dir=$1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  # shellcheck disable=SC2034 # for the scripts that source this
  XVFB_PID=$!
  for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.05; done
  [ -s "$dir/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
  DISPLAY=":$(cat "$dir/display")"
  export DISPLAY
}
