#!/usr/bin/env bash
# Leak check of a short run: the real toggra under valgrind on the offscreen
# platform, 16 columns on a bench of two 8-channel switches, a state file and
# a driver flipping channels on the bench. The run is ended by SIGTERM, which
# the program takes as "Beenden", so the dialog's teardown runs before valgrind
# looks for leaks. Allocations made by Qt, fontconfig and the X libraries on
# their own are suppressed (bench/valgrind.supp); every other definite leak is
# one of the program's own.
#
#   bench/valgrind.sh [-d SECONDS] [-b BUILD_DIR] [-o LOG]
#
#   -d  seconds from the start to SIGTERM (default 30; valgrind's start-up takes
#       a good part of it)
#   -b  build folder holding toggra and toggra-bench (default build)
#   -o  keep valgrind's log in this file
#
# Exit status: 0 when the program ended cleanly with no definite leak and no
# memory error, 1 otherwise, 2 on a usage error.
set -euo pipefail

duration=30
build=build
log_out=""
while getopts "d:b:o:h" opt; do
  case $opt in
    d) duration=$OPTARG ;;
    b) build=$OPTARG ;;
    o) log_out=$OPTARG ;;
    *) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done

cd "$(dirname "$0")/.."
supp=$PWD/bench/valgrind.supp
toggra=$(realpath "$build/toggra")
bench_tool=$(realpath "$build/toggra-bench")
for f in "$toggra" "$bench_tool"; do
  [ -x "$f" ] || { echo "valgrind.sh: $f is missing; build it first" >&2; exit 2; }
done
command -v valgrind >/dev/null || { echo "valgrind.sh: valgrind is not installed" >&2; exit 2; }

work=$(mktemp -d /tmp/toggra-valgrind.XXXXXX)
pid=""
driver=""
cleanup() {
  [ -n "$driver" ] && kill "$driver" 2>/dev/null || true
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

bench="$work/valgrind.bench"
for serial in 5001 5002; do
  printf '[device]\ntype = 40\nversion = 1\nserial = %s\nswitches = 8\nstate = 0 0 0 0 0 0 0 0\n\n' \
    "$serial"
done >"$bench"

export QT_QPA_PLATFORM=offscreen
export TOGGRA_BENCH="$bench"
export TOGGRA_HKCU="$work/HKEY_CURRENT_USER.reg"
export TOGGRA_HKLM="$work/HKEY_LOCAL_MACHINE.reg"
log="$work/valgrind.log"
valgrind --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
  --error-exitcode=99 --num-callers=40 --suppressions="$supp" --log-file="$log" \
  "$toggra" -S "$work/state.txt" >"$work/stdout" 2>"$work/stderr" &
pid=$!

(
  while sleep 1; do
    "$bench_tool" "$bench" set $((RANDOM % 2)) $((16 + RANDOM % 8)) $((RANDOM % 2)) \
      >/dev/null 2>&1 || true
  done
) &
driver=$!

sleep "$duration"
kill "$driver" 2>/dev/null || true
driver=""
kill -0 "$pid" 2>/dev/null || { echo "valgrind.sh: toggra ended before SIGTERM" >&2; }
kill -TERM "$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
pid=""
[ -n "$log_out" ] && cp "$log" "$log_out"

definite=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes in \([0-9,]*\) blocks.*/\1 bytes in \2 blocks/p' "$log" | tail -1)
errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9,]*\) errors.*/\1/p' "$log" | tail -1)
# The teardown resets every column's device: 8 resets on each bench device.
resets=$(grep -E '^resets *=' "$bench" | awk '{ s += $3 } END { print s + 0 }')
echo "definitely lost: ${definite:-?}; errors: ${errors:-?}; exit status: $status;" \
  "device resets at the end: $resets of 16"
if [ "$status" -ne 0 ] || [ "${errors:-1}" != "0" ] || [ "$resets" -ne 16 ]; then
  grep -E -A40 'definitely lost in|Invalid|uninitialised' "$log" | head -120 >&2 || true
  exit 1
fi
