# Shared by run.sh and test.sh: installs the Debian packages the build needs
# (only those missing), then configures and builds into build/.
# Sourced, not executed; expects BUILD_TYPE to be set by the caller.

PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-translations-l10n libgl-dev libsqlite3-dev
  libbenchmark-dev fonts-noto-cjk xvfb xauth)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build TOP [DIR [CMAKE_OPTION...]]: configures and builds TOP into DIR
# (TOP/build by default); BUILD_JOBS, when set, limits the parallel jobs.
build() {
  local top="$1" dir="${2:-$1/build}"
  shift $(($# < 2 ? $# : 2))
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" "$@" >/dev/null
  # Sources are found by folder; in an existing build tree CMake's moc/uic
  # step misses files added since, unless its stamps are cleared.
  find "$dir" -path '*_autogen/timestamp' -delete
  local jobs=(--parallel)
  [ -n "${BUILD_JOBS:-}" ] && jobs+=("$BUILD_JOBS")
  cmake --build "$dir" "${jobs[@]}"
}
