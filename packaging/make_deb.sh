#!/usr/bin/env bash
# Packs a configured and built Linux build directory into velkor-updater_<version>_amd64.deb
# and its debug symbols into velkor-updater-dbgsym_<version>_amd64.deb, in OUT_DIR.
# Usage: packaging/make_deb.sh BUILD_DIR OUT_DIR
# Reproducible: every file's time is SOURCE_DATE_EPOCH (required), owners are root, modes are
# set explicitly and dpkg-deb writes members in name order.
set -euo pipefail
build=$(realpath "$1")
out=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
: "${SOURCE_DATE_EPOCH:?set SOURCE_DATE_EPOCH (scripts/release.sh sets the last commit time)}"
source "$build/packaging/package.env"  # package_version, maintainer
arch=$(dpkg --print-architecture)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The package tree where dpkg-shlibdeps looks for it.
root=$work/src/debian/velkor-updater
dbg=$work/dbgsym
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

# Debug information into the dbgsym package, by build id; the programs stripped as Debian's
# own packages are.
mkdir -p "$dbg/usr/lib/debug/.build-id"
build_ids=()
for program in "$root"/usr/bin/*; do
  id=$(readelf -n "$program" | sed -n 's/^ *Build ID: *//p')
  [ -n "$id" ] || { echo "$program: no build id" >&2; exit 1; }
  build_ids+=("$id")
  mkdir -p "$dbg/usr/lib/debug/.build-id/${id:0:2}"
  objcopy --only-keep-debug --compress-debug-sections "$program" \
    "$dbg/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"
  strip --remove-section=.comment --remove-section=.note --strip-unneeded "$program"
done
mkdir -p "$dbg/usr/share/doc"
ln -s velkor-updater "$dbg/usr/share/doc/velkor-updater-dbgsym"

# Dependencies of the programs as they link now (libstdc++, libc; more when they link more).
mkdir -p "$root/DEBIAN"  # how dpkg-shlibdeps finds the package a program is in
printf 'Source: velkor-updater\n\nPackage: velkor-updater\nArchitecture: any\n' \
  >"$work/src/debian/control"
depends=$(cd "$work/src" && dpkg-shlibdeps -O debian/velkor-updater/usr/bin/* |
  sed -n 's/^shlibs:Depends=//p')

# control files: description, scripts, checksums; sizes in KiB as dpkg counts them.
control() {  # control DIR PACKAGE SECTION EXTRA-FIELDS DESCRIPTION
  local dir=$1
  mkdir -p "$dir/DEBIAN"
  {
    echo "Package: $2"
    echo "Version: $package_version"
    echo "Architecture: $arch"
    echo "Maintainer: $maintainer"
    echo "Installed-Size: $(du -sk --apparent-size --exclude=DEBIAN "$dir" | cut -f1)"
    printf '%s' "$4"
    echo "Section: $3"
    echo "Priority: optional"
    printf '%s\n' "$5"
  } >"$dir/DEBIAN/control"
  (cd "$dir" && find . -path ./DEBIAN -prune -o -type f -printf '%P\n' | LC_ALL=C sort |
    xargs -r md5sum >DEBIAN/md5sums)
}
control "$root" velkor-updater utils "Depends: $depends
Recommends: udev
" "Description: firmware updater for a USB video-class camera module
 velkor-update writes the firmware image it carries to the camera module's
 serial flash: it releases the flash's write protection, erases it, writes
 and verifies the image, restores the protection and leaves its verdict in
 Result.log. velkor-tool lists, identifies, backs up, verifies and writes the
 flash for service benches and test stations. A udev rule lets the video
 group open the camera."
install -m 0755 "$here/postinst" "$root/DEBIAN/"
control "$dbg" velkor-updater-dbgsym debug "Depends: velkor-updater (= $package_version)
Auto-Built-Package: debug-symbols
Build-Ids: ${build_ids[*]}
" "Description: debug symbols for velkor-updater"

for dir in "$root" "$dbg"; do
  find "$dir" -type d -exec chmod 0755 {} +
  find "$dir" -type f -exec chmod 0644 {} +
  chmod 0755 "$dir"/usr/bin/* "$dir"/DEBIAN/post* 2>/dev/null || true
  find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
done
mkdir -p "$out"
dpkg-deb --root-owner-group -Zxz --build "$root" "$out/velkor-updater_${package_version}_${arch}.deb" >/dev/null
dpkg-deb --root-owner-group -Zxz --build "$dbg" \
  "$out/velkor-updater-dbgsym_${package_version}_${arch}.deb" >/dev/null
echo "$out/velkor-updater_${package_version}_${arch}.deb"
