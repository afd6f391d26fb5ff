#!/usr/bin/env bash
# scripts/simulator.sh, through which scripts/windows-test and bench/cli run pwm5-sim: the
# ready line read, the simulator started on its link, its lines kept, and a start that fails.
#   tst_simulator_script.sh SIMULATOR_SH PWM5_SIM
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../../scripts/simulator.sh
source "$1"
sim=$2

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/simulator-script.XXXXXX")
trap 'sim_stop; rm -rf "$scratch"' EXIT

# A line pwm5-sim may print | the device sim_ready_device gives (- when the line is no ready
# line).
rows=(
  "ready COM1 -> /dev/pts/3, slave 1 at 9600 baud|/dev/pts/3"
  "ready COM12 -> /dev/pts/140, slave 247 at 115200 baud|/dev/pts/140"
  "ready COM1 -> /dev/pts/3, slaves 1, 2, 17 at 9600 baud|/dev/pts/3"
  "01 03 00 00 00 1A C4 01  ->  01 03 34 04 D2 00 32|-"
  "pwm5-sim: COM1 already exists; is another simulator running here?|-"
  "not ready COM1 -> /dev/pts/3, slave 1 at 9600 baud|-"
  "ready COM1 -> , slave 1 at 9600 baud|-"
  "ready COM1 -> /dev/pts/3|-"
)
for row in "${rows[@]}"; do
  IFS='|' read -r line expected <<<"$row"
  got=$(sim_ready_device "$line") || got=-
  [ "$got" = "$expected" ] || fail "sim_ready_device '$line': '$got', expected '$expected'"
done

# The simulator on COM2: the device it names is its link's, and an exchange reaches the log.
dir=$scratch/line
mkdir "$dir"
sim_start "$sim" "$dir" "$scratch/log" --port 2 --address 5
[ "$sim_device" = "$(readlink -f "$dir/COM2")" ] ||
  fail "sim_device '$sim_device', COM2 leads to '$(readlink -f "$dir/COM2")'"
[ "$(sim_ready_device "$(head -1 "$scratch/log")")" = "$sim_device" ] ||
  fail "the log does not begin with the ready line: $(cat "$scratch/log")"
# A request for another slave, which the simulator logs and leaves unanswered.
printf '\x01\x03\x00\x00\x00\x1a\xc4\x01' >"$sim_device"
for _ in $(seq 200); do grep -q -- '->  none: for slave 1' "$scratch/log" && break; sleep 0.05; done
grep -q -- '->  none: for slave 1' "$scratch/log" ||
  fail "the exchange is not in the log: $(cat "$scratch/log")"

# A second start stops the first simulator, which takes its link along.
sim_start "$sim" "$dir" "$scratch/log" --port 3
[ ! -L "$dir/COM2" ] || fail "COM2 is still there after the second start"
[ "$sim_device" = "$(readlink -f "$dir/COM3")" ] || fail "the second start's device is not COM3's"
sim_stop
[ ! -L "$dir/COM3" ] || fail "COM3 is still there after sim_stop"

# A simulator that cannot come up ends the script with what it said.
touch "$dir/COM1"
status=0
message=$( (sim_start "$sim" "$dir" "$scratch/log" --port 1) 2>&1) || status=$?
[ "$status" = 1 ] || fail "a failed start left with status $status"
[[ $message == "pwm5-sim did not start: pwm5-sim: COM1 already exists"* ]] ||
  fail "a failed start says: $message"

echo "$failures failures"
[ "$failures" -eq 0 ]
