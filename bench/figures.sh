# Shared by the benches against pwm5-sim: timing a program, counting the simulator's exchanges,
# and printing figures against targets. The scripts set BENCH_TMP (a scratch folder), line_dir
# (where the programs run) and, to count exchanges, SPAN (the seconds a rate is counted over).
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
range() { echo "$(calc "$1" "${4:-1}") [$(calc "$2" "${4:-1}")..$(calc "$3" "${4:-1}")]"; } # range MEDIAN MIN MAX [DECIMALS]
verdict() { # verdict CONDITION TEXT
  if [ "$(calc "$1" 0)" = 1 ]; then echo "ok ($2)"; else echo "MISS ($2)"; fi
}

# exchanges [SLAVE]: the simulator's exchanges so far, with that module or with any (its log
# has one line per exchange, "TIME  slave N  REQUEST  ->  REPLY").
exchanges() { grep -c "  slave ${1:-[0-9]*}  " "$BENCH_TMP/sim.log" || true; }
# wait_exchanges SLAVE N: until the simulator has had N of them.
wait_exchanges() { while [ "$(exchanges "$1")" -lt "$2" ]; do sleep 0.05; done; }
# rate SLAVE: exchanges with the module per second over SPAN seconds.
rate() {
  local n0 n1 t0 t1
  n0=$(exchanges "$1") t0=$EPOCHREALTIME
  sleep "$SPAN"
  n1=$(exchanges "$1") t1=$EPOCHREALTIME
  calc "($n1 - $n0) / ($t1 - $t0)" 3
}

# A port on 127.0.0.1 that nothing answers on.
free_port() {
  local p
  for ((p = 18830; p < 18990; p++)); do
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
  return 1
}
# wait_port PORT: until something answers on it; fails, saying so, after 5 s.
wait_port() {
  for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return; sleep 0.05; done
  echo "nothing answers on 127.0.0.1:$1" >&2
  return 1
}
