#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks into build/ (Release) and
# runs bench_ratio at full size: 1,000,000 records unless -n says otherwise.
# Extra arguments go to bench_ratio (--help lists them). Takes a few minutes;
# run it on an otherwise idle machine. See bench/README.md.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_TYPE=Release
. "$top/scripts/setup.sh"
install_missing
BUILD_TARGETS="bench_ratio makebooks bench_open" build "$top"
exec "$top/build/bench_ratio" "$@"
