#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless, then the
# benchmark program at a small size (so that a broken benchmark fails here;
# its ratios mean nothing at that size and are not checked); then builds
# the same sources with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole suite again there, where any finding fails.
# Both builds treat compiler warnings as errors. Extra arguments go to both
# ctest runs.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_TYPE=Release
. "$top/scripts/setup.sh"
install_missing
build "$top" "$top/build" -DBOOKKEEP_WERROR=ON
(cd "$top/build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 "$@")

# Runs one benchmark program at a small size: it must succeed and print
# exactly COUNT lines matching PATTERN (the figures themselves are not
# checked, and bench_ratio fails on a missing baseline itself).
run_measure() {
  local what=$1 log=$2 pattern=$3 count=$4 found
  shift 4
  if ! timeout 300 "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "The $what failed; its output is in $log" >&2
    exit 1
  fi
  found=$(grep -cE "$pattern" "$log" || true)
  if [ "$found" -ne "$count" ]; then
    cat "$log" >&2
    echo "The $what reported $found lines, not $count" >&2
    exit 1
  fi
  echo "The $what ran: $found lines (output in $log)"
}

echo "Running the benchmarks at a small size..."
run_measure "benchmark program" "$top/build/bench-ci.log" \
  '^[a-z0-9_]+ (ratio|bytes)=' 36 \
  "$top/build/bench_ratio" --records 2000 --repeats 3
# The event-loop probe drives each long operation through its command.
run_measure "event-loop probe" "$top/build/bench-jobs-ci.log" \
  '^[a-z_]+ gap_ms=[0-9.]+ ratio=[0-9.]+$' 7 \
  "$top/build/bench_jobs" --records 2000 --import-rows 200 --repeats 1
run_measure "start-up measure" "$top/build/bench-start-ci.log" \
  '^start_list ratio=[0-9.]+$' 1 \
  "$top/build/bench_start" --records 2000 --repeats 3

# The template database is made by a sanitized program during the build, so
# the options hold for the build as well. Leaks that are Qt's own (or its
# libraries') are listed, with the reason, in tests/lsan.supp.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp:print_suppressions=0"
# A test function may take several times longer under the sanitizers.
export QTEST_FUNCTION_TIMEOUT=1200000
BUILD_TYPE=Debug BUILD_JOBS=2 build "$top" "$top/build-asan" -DBOOKKEEP_SANITIZE=ON -DBOOKKEEP_WERROR=ON
cd "$top/build-asan"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 1500 "$@"
