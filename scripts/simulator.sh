# pwm5-sim started and stopped from a script; shared by scripts/windows-test and bench/cli.
# shellcheck shell=bash

# shellcheck disable=SC2034 # sim_device is for the scripts that source this
sim_pid="" sim_drain_pid="" sim_device=""

# sim_ready_device LINE: the pseudo-terminal that pwm5-sim's ready line names ("ready COM1 ->
# /dev/pts/3, slave 1 at 9600 baud" gives /dev/pts/3); fails on any other line.
sim_ready_device() {
  local form='^ready COM[0-9]+ -> (/[^,]+), '
  [[ $1 =~ $form ]] || return 1
  echo "${BASH_REMATCH[1]}"
}

# sim_start SIM DIR LOG ARGS...: stops the simulator this script started last, if any, and
# starts SIM in DIR with ARGS, once it has printed its ready line, which goes to LOG with
# everything it prints after (one line per exchange); so it never waits on a full pipe. Sets
# sim_pid and sim_device, the pseudo-terminal it named. When it does not come up within 10 s,
# says so with what it printed, and ends the script.
sim_start() {
  local sim=$1 dir=$2 log=$3 out ready
  shift 3
  sim_stop
  exec {out}< <(cd "$dir" && exec "$sim" "$@" 2>&1)
  sim_pid=$!
  if ! read -r -t 10 -u "$out" ready || ! sim_device=$(sim_ready_device "$ready"); then
    echo "pwm5-sim did not start: ${ready:-nothing in 10 s}" >&2
    exec {out}<&-
    sim_stop
    exit 1
  fi
  echo "$ready" >"$log"
  cat <&"$out" >>"$log" &
  sim_drain_pid=$!
  exec {out}<&-
}

# sim_stop: stops the simulator that sim_start started (SIGTERM, which removes its link), once
# its last lines are in the log.
sim_stop() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; } || true
  [ -z "$sim_drain_pid" ] || wait "$sim_drain_pid" 2>/dev/null || true
  sim_pid="" sim_drain_pid="" sim_device=""
  return 0
}
