#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build folder of their own and
# runs each for a while on its seed corpus. A crash, a sanitizer report, a
# failed check, a hang or a leak found by any target fails the run.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 30); TARGET one of cmdline, state, hive, bench, conf
# (default all five). Environment: FUZZ_BUILD_DIR (default build-fuzz),
# FUZZ_WORK_DIR (where new inputs, logs and crash inputs go; default a fresh
# temporary folder, kept when a target fails), FUZZ_JOBS (build jobs and
# targets fuzzed at the same time, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(cmdline state hive bench conf)
build=${FUZZ_BUILD_DIR:-build-fuzz}
work=${FUZZ_WORK_DIR:-$(mktemp -d /tmp/toggra-fuzz.XXXXXX)}
mkdir -p "$work"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTOGGRA_BUILD_FUZZ=ON \
  -DTOGGRA_BUILD_GUI=OFF -DTOGGRA_BUILD_TESTS=OFF -DTOGGRA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target "${targets[@]/#/fuzz_}"

parallel=${FUZZ_JOBS:-2}

# Fuzzes one target; its summary goes to $work/$t.result, a failure to
# $work/$t.failed.
fuzz_one() {
  local t=$1
  mkdir -p "$work/corpus/$t" "$work/artifacts/$t"
  local log="$work/$t.log"
  # New inputs go to the work folder; the committed seeds are only read.
  if "$build/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/artifacts/$t/" \
      "$work/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    local runs last
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
    echo "fuzz_$t: ${runs:-?} executions in ${seconds} s, ${last:-no coverage line}" \
      >"$work/$t.result"
  else
    {
      echo "fuzz_$t FAILED; the input that failed is in $work/artifacts/$t/:"
      ls "$work/artifacts/$t"
      grep -E -A30 'check failed|^==[0-9]+==|runtime error|ERROR: libFuzzer' "$log" | head -60
    } >"$work/$t.failed"
  fi
}

for t in "${targets[@]}"; do
  fuzz_one "$t" &
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
done
wait

failed=0
for t in "${targets[@]}"; do
  if [ -f "$work/$t.failed" ]; then
    failed=1
    cat "$work/$t.failed" >&2
  else
    cat "$work/$t.result"
  fi
done

if [ $failed -ne 0 ]; then
  echo "fuzz/run.sh: logs and inputs kept in $work" >&2
  exit 1
fi
[ -z "${FUZZ_WORK_DIR:-}" ] && rm -rf "$work"
exit 0
