# Shared by run.sh and test.sh: installs the Debian packages the build needs
# (only those missing), then configures and builds: everything into build/
# for the tests, the benchmarks for bench.sh, or only the program for run.sh.
# Sourced, not executed; expects BUILD_TYPE to be set by the caller.

# Qt Charts needs the OpenGL module's CMake files, which it does not depend on.
# Qt SVG renders the icon at build time; dpkg-dev computes the package's
# dependencies; the desktop entry and AppStream validators check the install.
# The statement readers (QuaZip, libarchive, FreeXL) and libsodium, which seals
# the off-site copies, are found with pkgconf; QtKeychain keeps their secrets
# in the desktop's keyring; the tests of the off-site copies run rclone's
# WebDAV server.
PACKAGES=(cmake ninja-build pkgconf g++ qt6-base-dev qt6-charts-dev libqt6opengl6-dev
  qt6-translations-l10n libgl-dev libsqlite3-dev fonts-noto-cjk xvfb xauth
  libquazip1-qt6-dev libarchive-dev libfreexl-dev hledger qt6-svg-dev dpkg-dev
  desktop-file-utils appstream libsodium-dev qtkeychain-qt6-dev rclone)

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
# (TOP/build by default); BUILD_JOBS, when set, limits the parallel jobs, and
# BUILD_TARGETS, when set, names the targets to build instead of all.
build() {
  local top="$1" dir="${2:-$1/build}"
  shift $(($# < 2 ? $# : 2))
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" "$@" >/dev/null
  # In an existing build tree CMake's moc/uic step can miss files added or
  # changed since; clearing its stamps makes it look at every file again.
  find "$dir" -path '*_autogen/timestamp' -delete
  local jobs=(--parallel)
  [ -n "${BUILD_JOBS:-}" ] && jobs+=("$BUILD_JOBS")
  local targets=()
  # shellcheck disable=SC2206 # the names are split on blanks on purpose
  [ -n "${BUILD_TARGETS:-}" ] && targets=(--target $BUILD_TARGETS)
  cmake --build "$dir" "${jobs[@]}" "${targets[@]}"
}

# build_program TOP: builds only the program into TOP/build, quietly. One line
# says what is happening while a first build runs; the compiler's output goes
# to build/build.log and is shown only when the build fails.
build_program() {
  local top="$1" dir="$1/build" sources
  [ -f "$dir/build.ninja" ] ||
    cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" >/dev/null
  # moc and uic miss files added since the last build unless their stamps go.
  sources=$(cd "$top" && find src -name '*.cpp' -o -name '*.h' -o -name '*.ui' | sort | cksum)
  [ "$(cat "$dir/.program-sources" 2>/dev/null || true)" = "$sources" ] ||
    find "$dir" -path '*_autogen/timestamp' -delete
  [ -x "$dir/bookkeep" ] || echo "Building the program; the first build takes a few minutes..."
  if ! cmake --build "$dir" --target bookkeep >"$dir/build.log" 2>&1; then
    tail -n 40 "$dir/build.log" >&2
    echo "The build failed; the whole log is in $dir/build.log" >&2
    return 1
  fi
  printf '%s\n' "$sources" >"$dir/.program-sources"
}
