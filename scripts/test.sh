#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_TYPE=Release
. "$top/scripts/setup.sh"
install_missing
build "$top"
cd "$top/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 "$@"
