#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless; then builds
# the same sources with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole suite again there, where any finding fails.
# Extra arguments go to both ctest runs.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_TYPE=Release
. "$top/scripts/setup.sh"
install_missing
build "$top"
(cd "$top/build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 "$@")

# The template database is made by a sanitized program during the build, so
# the options hold for the build as well. Leaks that are Qt's own (or its
# libraries') are listed, with the reason, in tests/lsan.supp.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp:print_suppressions=0"
# A test function may take several times longer under the sanitizers.
export QTEST_FUNCTION_TIMEOUT=1200000
BUILD_TYPE=Debug BUILD_JOBS=2 build "$top" "$top/build-asan" -DBOOKKEEP_SANITIZE=ON
cd "$top/build-asan"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 1500 "$@"
