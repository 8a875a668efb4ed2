#!/usr/bin/env bash
# Toggra as a whole process on the offscreen platform, side by side with the
# floor: a bare Qt 6 Widgets dialog of 16 columns of 3 buttons with a 100 ms
# timer (bench/floor, built here). Prints for each figure Toggra's value, the
# floor's, their ratio and the goal:
#   - start-up: from exec to the first exposed window (median of several);
#   - resident memory after the idle period;
#   - CPU used over 10 s of idle ticking, Toggra with 16 columns on a bench
#     file and a state file;
#   - one tick of 16 columns on the bench (from toggra_benchmarks), against
#     the 100 ms period.
#
# Usage: bench/compare.sh [BUILD_DIR]   (default: build; configured if needed)
# TOGGRA_COMPARE_RUNS (default 9) and TOGGRA_COMPARE_IDLE (seconds, default 10)
# change the number of starts and the idle period.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${TOGGRA_COMPARE_RUNS:-9}
idle=${TOGGRA_COMPARE_IDLE:-10}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target toggra toggra_benchmarks >/dev/null
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
cmake -S bench/floor -B "$build/bench-floor" -G Ninja \
  -DCMAKE_BUILD_TYPE="${build_type:-RelWithDebInfo}" >/dev/null
cmake --build "$build/bench-floor" >/dev/null

work=$(mktemp -d)
running=()
cleanup() {
  for pid in "${running[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Two 8-channel switches: 16 plain columns.
cat >"$work/set.bench" <<'EOF'
[device]
type = 8
switches = 8
state = 1 0 0 1 0 0 1 0

[device]
type = 8
switches = 8
state = 0 1 0 0 1 0 0 1
EOF

export QT_QPA_PLATFORM=offscreen TOGGRA_REPORT_SHOWN=1
export TOGGRA_BENCH="$work/set.bench" TOGGRA_HKCU="$work/user.reg" TOGGRA_HKLM="$work/machine.reg"
launch="$build/bench-floor/launch"
toggra=("$build/toggra" -S "$work/state.txt")
floor=("$build/bench-floor/floor")

# start NAME COMMAND...: runs COMMAND through the launcher with its stderr in
# $work/NAME.err; the process id is left in $pid.
start() {
  local name=$1
  shift
  # Gone before the start: the previous run's lines must not be read as this one's.
  rm -f "$work/$name.err"
  "$launch" "$@" 2>"$work/$name.err" >/dev/null &
  pid=$!
  running+=("$pid")
}

stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# Seconds from the launcher's start line to the program's shown line, once the
# program has written it (at most 30 s).
shown_after() {
  local err=$1
  for _ in $(seq 300); do
    if grep -qs '^shown ' "$err"; then
      awk '/^start /{s = $2} /^shown /{printf "%.6f\n", $2 - s; exit}' "$err"
      return 0
    fi
    sleep 0.1
  done
  echo "no window shown; stderr:" >&2
  cat "$err" >&2
  return 1
}

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# CPU time of a process in nanoseconds, all its threads.
cpu_ns() {
  local total=0 t f
  for f in /proc/"$1"/task/*/schedstat; do
    read -r t _ <"$f" || t=0
    total=$((total + t))
  done
  echo "$total"
}

rss_kib() { awk '/^VmRSS:/{print $2}' /proc/"$1"/status; }

echo "Measuring start-up ($runs starts each)..." >&2
: >"$work/toggra.starts"
: >"$work/floor.starts"
# Also the CPU time the process has used once its window is shown (read
# within 0.1 s of it, while it idles): on a busy machine the wall-clock time
# mostly measures the wait for a core, this does not.
: >"$work/toggra.cpu"
: >"$work/floor.cpu"
for _ in $(seq "$runs"); do
  start toggra "${toggra[@]}"
  shown_after "$work/toggra.err" >>"$work/toggra.starts"
  cpu_ns "$pid" >>"$work/toggra.cpu"
  stop "$pid"
  start floor "${floor[@]}"
  shown_after "$work/floor.err" >>"$work/floor.starts"
  cpu_ns "$pid" >>"$work/floor.cpu"
  stop "$pid"
done
toggra_start=$(median <"$work/toggra.starts")
floor_start=$(median <"$work/floor.starts")
toggra_start_cpu=$(median <"$work/toggra.cpu")
floor_start_cpu=$(median <"$work/floor.cpu")

echo "Measuring ${idle} s of idle ticking..." >&2
start toggra "${toggra[@]}"
toggra_pid=$pid
start floor "${floor[@]}"
floor_pid=$pid
shown_after "$work/toggra.err" >/dev/null
shown_after "$work/floor.err" >/dev/null
# Past the start-up and the bench file's settling after the start-up's writes.
sleep 3
toggra_cpu0=$(cpu_ns "$toggra_pid")
floor_cpu0=$(cpu_ns "$floor_pid")
sleep "$idle"
toggra_cpu=$(($(cpu_ns "$toggra_pid") - toggra_cpu0))
floor_cpu=$(($(cpu_ns "$floor_pid") - floor_cpu0))
toggra_rss=$(rss_kib "$toggra_pid")
floor_rss=$(rss_kib "$floor_pid")
stop "$toggra_pid"
stop "$floor_pid"

echo "Measuring the tick..." >&2
tick_ns=$("$build/toggra_benchmarks" --benchmark_filter='^BM_TimerTick/Plain16_Bench$' \
  --benchmark_repetitions=5 --benchmark_format=csv 2>/dev/null |
  awk -F, '$1 ~ /_median"?$/ {print $3}')

awk -v ts="$toggra_start" -v fs="$floor_start" -v tr="$toggra_rss" -v fr="$floor_rss" \
  -v tsc="$toggra_start_cpu" -v fsc="$floor_start_cpu" \
  -v tc="$toggra_cpu" -v fc="$floor_cpu" -v idle="$idle" -v tick="$tick_ns" '
function verdict(ok) { return ok ? "met" : "MISSED" }
BEGIN {
  tcpu = 100 * tc / (idle * 1e9); fcpu = 100 * fc / (idle * 1e9)
  printf "%-34s %12s %12s %8s   %s\n", "", "Toggra", "floor", "ratio", "goal"
  printf "%-34s %10.1f ms %9.1f ms %8.2f   <= 1.15x floor: %s\n", "start-up to the first window",
    1000 * ts, 1000 * fs, ts / fs, verdict(ts <= 1.15 * fs)
  printf "%-34s %10.1f ms %9.1f ms %8.2f   <= 1.15x floor: %s\n", "CPU time to the first window",
    tsc / 1e6, fsc / 1e6, tsc / fsc, verdict(tsc <= 1.15 * fsc)
  printf "%-34s %8.1f MiB %8.1f MiB %8.2f   <= 1.15x floor: %s\n", "resident memory",
    tr / 1024, fr / 1024, tr / fr, verdict(tr <= 1.15 * fr)
  printf "%-34s %11.2f %% %10.2f %% %8.2f   < 1 %% of one core: %s\n",
    "idle CPU, 16 columns, state file", tcpu, fcpu, (fcpu > 0 ? tcpu / fcpu : 0), verdict(tcpu < 1)
  printf "%-34s %10.1f us %9.0f ms %7.3f%%   < 50 us (1 %% of the period): %s\n",
    "tick, 16 columns on the bench", tick / 1000, 100, 100 * tick / 1e8, verdict(tick < 50000)
}'
