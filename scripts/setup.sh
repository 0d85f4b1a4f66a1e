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

build() {
  local top="$1"
  cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" >/dev/null
  # Sources are found by folder; in an existing build tree CMake's moc/uic
  # step misses files added since, unless its stamps are cleared.
  find "$top/build" -path '*_autogen/timestamp' -delete
  cmake --build "$top/build" --parallel
}
