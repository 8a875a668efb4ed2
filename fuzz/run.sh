#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build folder of their own and
# runs each for a while on its seed corpus. A crash, a sanitizer report, a
# failed check, a hang or a leak found by any target fails the run.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 30); TARGET one of cmdline, state, hive, bench
# (default all four, one after the other). Environment: FUZZ_BUILD_DIR (default
# build-fuzz), FUZZ_WORK_DIR (where new inputs, logs and crash inputs go;
# default a fresh temporary folder, kept when a target fails), FUZZ_JOBS (build
# jobs, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(cmdline state hive bench)
build=${FUZZ_BUILD_DIR:-build-fuzz}
work=${FUZZ_WORK_DIR:-$(mktemp -d /tmp/toggra-fuzz.XXXXXX)}
mkdir -p "$work"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DTOGGRA_BUILD_FUZZ=ON \
  -DTOGGRA_BUILD_GUI=OFF -DTOGGRA_BUILD_TESTS=OFF -DTOGGRA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target "${targets[@]/#/fuzz_}"

failed=0
for t in "${targets[@]}"; do
  mkdir -p "$work/corpus/$t" "$work/artifacts/$t"
  log="$work/$t.log"
  # New inputs go to the work folder; the committed seeds are only read.
  if "$build/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/artifacts/$t/" \
      "$work/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
    echo "fuzz_$t: ${runs:-?} executions in ${seconds} s, ${last:-no coverage line}"
  else
    failed=1
    echo "fuzz_$t FAILED; the input that failed is in $work/artifacts/$t/:" >&2
    ls "$work/artifacts/$t" >&2
    grep -E -A30 'check failed|^==[0-9]+==|runtime error|ERROR: libFuzzer' "$log" | head -60 >&2
  fi
done

if [ $failed -ne 0 ]; then
  echo "fuzz/run.sh: logs and inputs kept in $work" >&2
  exit 1
fi
[ -z "${FUZZ_WORK_DIR:-}" ] && rm -rf "$work"
exit 0
