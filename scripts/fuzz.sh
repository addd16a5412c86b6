#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang; installed when missing) and runs each for a
# fixed number of executions, starting from its kept corpus in fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh [RUNS] [TARGET...]     RUNS defaults to 20000; TARGET e.g. evk_config
#
# FUZZ_MAX_TIME (seconds) ends a target's run early, FUZZ_NO_BUILD=1 skips the build.
# Inputs that add coverage go to $FUZZ_BUILD/corpus/<target>/; FUZZ_MERGE=1 merges them into
# the kept corpus afterwards. A finding leaves its input in $FUZZ_BUILD/findings/ and makes
# the script fail. Prints executions and time per target.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${1:-20000}
[ $# -gt 0 ] && shift
BUILD=${FUZZ_BUILD:-build/fuzz}
JOBS=${JOBS:-$(nproc)}

if ! command -v clang++ >/dev/null 2>&1; then
  echo "== installing clang"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang >/dev/null
fi
dpkg -s libgtest-dev >/dev/null 2>&1 || {
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
}

echo "== fuzz targets: build ($BUILD)"
[ "${FUZZ_NO_BUILD:-0}" = 1 ] || CC=clang CXX=clang++ cmake -S fuzz -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null 2>&1 \
  || CC=clang CXX=clang++ cmake -S fuzz -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in fuzz/fuzz_*.cpp; do
    name=$(basename "$src" .cpp)
    targets+=("${name#fuzz_}")
  done
fi
[ "${FUZZ_NO_BUILD:-0}" = 1 ] || cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]/#/fuzz_}"

mkdir -p "$BUILD/findings"
status=0
echo "== fuzz targets: $RUNS executions each"
for t in "${targets[@]}"; do
  mkdir -p "$BUILD/corpus/$t" "fuzz/corpus/$t"
  log="$BUILD/fuzz_$t.log"
  t0=$(date +%s.%N)
  # -close_fd_mask=3: the parsers print their complaints; libFuzzer keeps its own output.
  if ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} "$BUILD/fuzz_$t" -runs="$RUNS" ${FUZZ_MAX_TIME:+-max_total_time=$FUZZ_MAX_TIME} -timeout=10 -close_fd_mask=3 \
       -print_final_stats=1 -artifact_prefix="$BUILD/findings/$t-" "$BUILD/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    result=ok
  else
    result=FINDING
    status=1
    tail -n 40 "$log"
  fi
  t1=$(date +%s.%N)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  printf '%-18s %-8s %12s executions %9.1f s\n' "$t" "$result" "${execs:-?}" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')"
  if [ "${FUZZ_MERGE:-0}" = 1 ] && [ "$result" = ok ]; then
    "$BUILD/fuzz_$t" -merge=1 -close_fd_mask=3 "fuzz/corpus/$t" "$BUILD/corpus/$t" >>"$log" 2>&1
  fi
done
exit $status
