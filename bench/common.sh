# Shared by bench/startup and bench/exchange: the packages, a Release build, and a private X
# server and session bus for the programs under test. Source it from the repository's root.
# shellcheck shell=bash

source scripts/setup.sh
source scripts/xvfb.sh
# A private X server; the start-up probe reads X DAMAGE events; a session bus is what a desktop
# gives every program; callgrind counts instructions.
PWM5_PACKAGES+=(xvfb xauth libxcb-damage0-dev dbus-daemon procps valgrind)

BUILD=${PWM5_BUILD:-build/release}

# Builds the same Release tree as ./run. Progress goes to stderr, so stdout holds only figures.
bench_build() {
  ensure_packages >&2
  configure_and_build "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >&2
}

# Starts Xvfb and a session bus, each by its own pid, and a scratch folder BENCH_TMP; all go
# away when the script exits.
bench_environment() {
  BENCH_TMP=$(mktemp -d "${TMPDIR:-/tmp}/pwm5-bench.XXXXXX")
  trap bench_cleanup EXIT
  xvfb_start "$BENCH_TMP"
  export QT_QPA_PLATFORM=xcb
  export XDG_RUNTIME_DIR="$BENCH_TMP/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  {
    read -r DBUS_SESSION_BUS_ADDRESS
    read -r DBUS_PID
  } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  export DBUS_SESSION_BUS_ADDRESS
}

bench_cleanup() {
  [ -n "${DBUS_PID:-}" ] && kill "$DBUS_PID" 2>/dev/null
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  [ -n "${BENCH_TMP:-}" ] && rm -rf "$BENCH_TMP"
  return 0
}

# The machine's state, printed with the figures: they mean little on a loaded machine.
bench_machine() {
  echo "machine: $(nproc) CPUs, $(uptime | sed 's/.*load average/load average/')"
}
