# Shared by bench/cli and bench/bus: timing a program, and printing figures against targets.
# The scripts set BENCH_TMP (a scratch folder) and line_dir (where the programs run).
# shellcheck shell=bash

# timed NAME COMMAND...: runs it in the scratch folder; its output goes to out.NAME, the time
# from exec to exit in ms to the variable ms. With cpu_time set (the path of pwm5-cpu-time),
# the command's CPU time in ms, user + system, goes to the variable cpu.
timed() {
  local name=$1 rc=0 t0 t1 wrap=()
  shift
  [ -n "${cpu_time:-}" ] && wrap=("$cpu_time" "$BENCH_TMP/cpu")
  t0=$EPOCHREALTIME
  (cd "$line_dir" && exec "${wrap[@]}" "$@") >"$BENCH_TMP/out.$name" 2>"$BENCH_TMP/err.$name" || rc=$?
  t1=$EPOCHREALTIME
  ms=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) * 1000 }')
  cpu=$([ -n "${cpu_time:-}" ] && cat "$BENCH_TMP/cpu" || echo 0)
  status=$rc
}
must() { # must NAME EXPECTED_STATUS: what timed left is that status, else the output and exit
  [ "$status" = "$2" ] && return 0
  echo "$1 exited with $status, not $2:" >&2
  cat "$BENCH_TMP/out.$1" "$BENCH_TMP/err.$1" >&2
  tail -5 "$BENCH_TMP/sim.log" >&2 || true
  exit 1
}

# stats: median min max of the numbers on stdin
stats() {
  sort -g | awk '{ a[NR] = $1 } END {
    m = NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
    print m, a[1], a[NR] }'
}

calc() { awk "BEGIN { printf \"%.${2:-1}f\", ($1) }"; } # calc EXPRESSION [DECIMALS]
row() { printf "%-42s %26s  %s\n" "$1" "$2" "${3:-}"; }
range() { echo "$(calc "$1") [$(calc "$2")..$(calc "$3")]"; }
verdict() { # verdict CONDITION TEXT
  if [ "$(calc "$1" 0)" = 1 ]; then echo "ok ($2)"; else echo "MISS ($2)"; fi
}
