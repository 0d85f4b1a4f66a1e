#!/usr/bin/env bash
# Installs the build into a scratch root and checks what a desktop finds
# there: the files, the icon sizes, the desktop entry and the AppStream data
# (with their validators), and a first start of the installed program by a
# user who cannot write it. Then builds the Debian package and checks its
# files, dependencies and maintainer scripts.
# Usage: tst_Package.sh BUILD_DIR APP_ID VERSION PROBE_EXE ICON_SIZE...
set -euo pipefail
build="$1" id="$2" version="$3" probe="$4"
shift 4
sizes=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# ---- the installed tree
root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
share=usr/share
expected=(usr/bin/bookkeep usr/libexec/bookkeep/bookkeep-xls "$share/bookkeep/bookkeep.dat"
  "$share/applications/$id.desktop" "$share/metainfo/$id.metainfo.xml"
  "$share/icons/hicolor/scalable/apps/$id.svg" "$share/doc/bookkeep/copyright")
for size in "${sizes[@]}"; do
  expected+=("$share/icons/hicolor/${size}x$size/apps/$id.png")
done
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
(cd "$root" && find . -type f -printf '%P\n' | sort) >"$work/installed"
diff -u "$work/expected" "$work/installed" || fail "the installed files differ from the expected list"
[ -x "$root/usr/bin/bookkeep" ] || fail "the program is not executable"
# The .xls helper finds its library and refuses a file that is no .xls.
status=0
"$root/usr/libexec/bookkeep/bookkeep-xls" /dev/null || status=$?
[ "$status" -eq 2 ] || fail "the .xls helper ended with $status"
cmp -s "$build/bookkeep.dat" "$root/$share/bookkeep/bookkeep.dat" || fail "the template differs"

# A PNG's header holds its width and height as 32-bit big-endian numbers.
for size in "${sizes[@]}"; do
  png="$root/$share/icons/hicolor/${size}x$size/apps/$id.png"
  header=$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')
  [ "$header" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "$png is not $size×$size"
done

version_line=$("$root/usr/bin/bookkeep" --version)
[ "$version_line" = "bookkeep $version" ] || fail "--version says: $version_line"

# ---- the desktop entry and the AppStream data
desktop="$root/$share/applications/$id.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused $desktop"
for line in "Name=记账软件" "Exec=bookkeep" "Icon=$id" "Categories=Office;Finance;"; do
  grep -qxF "$line" "$desktop" || fail "the desktop entry lacks $line"
done
metainfo="$root/$share/metainfo/$id.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refused $metainfo"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "the release is not $version"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "the AppStream data does not launch $id.desktop"

# ---- the first start of the installed program: its books are made in the
# user's data folder from the installed template. The program's entry
# sequence runs as the probe, put beside the installed program; it closes
# the window and answers the exit question itself. Root starts it as nobody.
cp "$probe" "$root/usr/bin/startup_probe"
home="$work/home"
mkdir -p "$home/run"
chmod 700 "$home/run"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R 65534:65534 "$home"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
if ! out=$("${as_user[@]}" env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" \
  XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen PROBE_CLOSE=1 PROBE_ANSWER=yes \
  "$root/usr/bin/startup_probe" 2>&1); then
  fail "the first start failed: $out"
fi
grep -q '^SHOWN|' <<<"$out" || fail "the main window did not show: $out"
[ -s "$home/.local/share/bookkeep/bookkeep.dat" ] ||
  fail "no books in $home/.local/share/bookkeep: $out"
[ ! -e "$root/usr/bin/bookkeep.dat" ] || fail "books were made beside the program"

# Without its template a first start says so and does not start on no books.
rm "$root/$share/bookkeep/bookkeep.dat"
rm -r "$home/.local/share/bookkeep"
status=0
out=$("${as_user[@]}" env -u XDG_DATA_HOME HOME="$home" XDG_RUNTIME_DIR="$home/run" \
  QT_QPA_PLATFORM=offscreen "$root/usr/bin/startup_probe" 2>&1) || status=$?
[ "$status" -eq 1 ] || fail "a start without the template ended with $status: $out"
grep -q '^BOX|.*|找不到账簿模板 ' <<<"$out" || fail "no message about the template: $out"
! grep -q '^SHOWN|' <<<"$out" || fail "the main window showed without books: $out"
[ ! -e "$home/.local/share/bookkeep/bookkeep.dat" ] || fail "books were made without the template"

# ---- the Debian package
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$work/cpack.log")"
deb=("$work/package/bookkeep_${version}_"*.deb)
[ -f "${deb[0]}" ] || fail "no bookkeep_${version}_*.deb: $(ls "$work/package")"
dpkg-deb --contents "${deb[0]}" | awk '{ print $6 }' | grep -v '/$' | sed 's|^\./||' | sort \
  >"$work/packaged"
diff -u "$work/expected" "$work/packaged" || fail "the package's files differ from the expected list"
depends=$(dpkg-deb -f "${deb[0]}" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6charts6 libsqlite3-0; do
  grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
grep -q 'fonts-noto-cjk' <<<"$(dpkg-deb -f "${deb[0]}" Recommends)" ||
  fail "the font is not recommended"
control=$(dpkg-deb --ctrl-tarfile "${deb[0]}" | tar -t | grep -v '/$' | sed 's|^\./||' | sort |
  tr '\n' ' ')
[ "$control" = "control md5sums " ] || fail "the package carries maintainer scripts: $control"
echo "PASS: the installed tree, its desktop files, a first start and the package"
