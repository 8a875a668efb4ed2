#!/usr/bin/env bash
# Resident memory of a long run: the real toggra on the offscreen platform with
# 16 columns ticking (a bench of two 8-channel switches) and a state file, while
# a driver flips channels on the bench so that the read-back, the redraws and
# the tray icons keep changing. Samples VmRSS every few seconds and reports how
# much it grew after the first minute, when start-up allocations have settled.
#
#   bench/memory.sh [-d SECONDS] [-i SECONDS] [-l KIB] [-b BUILD_DIR] [-o SAMPLES.csv]
#
#   -d  duration of the run (default 600)
#   -i  seconds between samples (default 5)
#   -l  allowed growth after the first minute in KiB (default 1024); more fails
#   -b  build folder holding toggra and toggra-bench (default build)
#   -o  also write the samples as "seconds,kib" lines to this file
#
# Exit status: 0 when the growth stays within the limit, 1 when it does not or
# the program died during the run, 2 on a usage error.
set -euo pipefail

duration=600
interval=5
limit_kib=1024
build=build
samples_out=""
while getopts "d:i:l:b:o:h" opt; do
  case $opt in
    d) duration=$OPTARG ;;
    i) interval=$OPTARG ;;
    l) limit_kib=$OPTARG ;;
    b) build=$OPTARG ;;
    o) samples_out=$OPTARG ;;
    *) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
settle=60
if (( duration <= settle )); then
  echo "memory.sh: the run must last longer than the first minute (-d > $settle)" >&2
  exit 2
fi

cd "$(dirname "$0")/.."
toggra=$(realpath "$build/toggra")
bench_tool=$(realpath "$build/toggra-bench")
for f in "$toggra" "$bench_tool"; do
  [ -x "$f" ] || { echo "memory.sh: $f is missing; build it first" >&2; exit 2; }
done

work=$(mktemp -d /tmp/toggra-memory.XXXXXX)
pid=""
driver=""
cleanup() {
  [ -n "$driver" ] && kill "$driver" 2>/dev/null || true
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

bench="$work/memory.bench"
for serial in 5001 5002; do
  printf '[device]\ntype = 40\nversion = 1\nserial = %s\nswitches = 8\nstate = 0 0 0 0 0 0 0 0\n\n' \
    "$serial"
done >"$bench"

export QT_QPA_PLATFORM=offscreen
export TOGGRA_BENCH="$bench"
export TOGGRA_HKCU="$work/HKEY_CURRENT_USER.reg"
export TOGGRA_HKLM="$work/HKEY_LOCAL_MACHINE.reg"
"$toggra" -S "$work/state.txt" >"$work/stdout" 2>"$work/stderr" &
pid=$!

# The driver: one random channel of one device changes every half second.
(
  while sleep 0.5; do
    "$bench_tool" "$bench" set $((RANDOM % 2)) $((16 + RANDOM % 8)) $((RANDOM % 2)) \
      >/dev/null 2>&1 || true
  done
) &
driver=$!

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null; }

[ -n "$samples_out" ] && : >"$samples_out"
start=$SECONDS
base=""
max_after=0
last=0
while (( SECONDS - start < duration )); do
  sleep "$interval"
  rss=$(rss_kib) || true
  if [ -z "$rss" ]; then
    echo "memory.sh: toggra ended during the run (after $((SECONDS - start)) s)" >&2
    sed 's/^/  stderr: /' "$work/stderr" >&2
    exit 1
  fi
  t=$((SECONDS - start))
  [ -n "$samples_out" ] && echo "$t,$rss" >>"$samples_out"
  last=$rss
  if (( t >= settle )); then
    [ -z "$base" ] && base=$rss
    (( rss > max_after )) && max_after=$rss
  fi
done

[ -s "$work/state.txt" ] || { echo "memory.sh: the state file was never written" >&2; exit 1; }
growth=$((last - base))
peak_growth=$((max_after - base))
echo "VmRSS after ${settle} s: ${base} KiB; at the end (${duration} s): ${last} KiB;" \
  "growth ${growth} KiB (peak ${peak_growth} KiB); limit ${limit_kib} KiB"
if (( peak_growth > limit_kib )); then
  echo "memory.sh: resident memory grew by more than ${limit_kib} KiB" >&2
  exit 1
fi
