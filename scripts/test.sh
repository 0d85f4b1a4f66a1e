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

# Every measure must report: bench_ratio fails on a missing baseline itself,
# and here each of the 36 measures must have printed its line.
echo "Running the benchmarks at a small size..."
bench_log="$top/build/bench-ci.log"
if ! timeout 300 "$top/build/bench_ratio" --records 2000 --repeats 3 >"$bench_log" 2>&1; then
  cat "$bench_log" >&2
  echo "The benchmark program failed; its output is in $bench_log" >&2
  exit 1
fi
measures=$(grep -cE '^[a-z0-9_]+ (ratio|bytes)=' "$bench_log" || true)
if [ "$measures" -ne 36 ]; then
  cat "$bench_log" >&2
  echo "The benchmark program reported $measures measures, not 36" >&2
  exit 1
fi
echo "Benchmarks ran: $measures measures (output in $bench_log)"

# The event-loop probe drives each long operation through its command; each
# of its 7 operations must print its line (the figures are not checked).
jobs_log="$top/build/bench-jobs-ci.log"
if ! timeout 300 "$top/build/bench_jobs" --records 2000 --import-rows 200 --repeats 1 \
  >"$jobs_log" 2>&1; then
  cat "$jobs_log" >&2
  echo "The event-loop probe failed; its output is in $jobs_log" >&2
  exit 1
fi
operations=$(grep -cE '^[a-z_]+ gap_ms=[0-9.]+ ratio=[0-9.]+$' "$jobs_log" || true)
if [ "$operations" -ne 7 ]; then
  cat "$jobs_log" >&2
  echo "The event-loop probe reported $operations operations, not 7" >&2
  exit 1
fi
echo "Event-loop probe ran: $operations operations (output in $jobs_log)"

start_log="$top/build/bench-start-ci.log"
if ! timeout 300 "$top/build/bench_start" --records 2000 --repeats 3 >"$start_log" 2>&1 \
  || ! grep -qE '^start_list ratio=[0-9.]+$' "$start_log"; then
  cat "$start_log" >&2
  echo "The start-up measure failed; its output is in $start_log" >&2
  exit 1
fi
echo "Start-up measure ran (output in $start_log)"

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
