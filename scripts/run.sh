#!/usr/bin/env bash
# Installs what is missing, builds the program (Release; only the program, not
# the tests) and starts it on the user's books, which live outside the build
# tree. With nothing changed it starts at once.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_TYPE=Release
. "$top/scripts/setup.sh"
install_missing

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. To run without one, start it under Xvfb:"
  echo "  xvfb-run -a scripts/run.sh"
  exit 1
fi
build_program "$top"

data="${XDG_DATA_HOME:-$HOME/.local/share}/bookkeep"
mkdir -p "$data"
if [ ! -e "$data/bookkeep.dat" ]; then
  cp "$top/build/bookkeep.dat" "$data/bookkeep.dat"
  echo "New books created in $data"
fi
exec "$top/build/bookkeep" --data-dir "$data" "$@"
