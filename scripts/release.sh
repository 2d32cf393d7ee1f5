#!/usr/bin/env bash
# Builds the release from the committed tree (HEAD) into dist/:
#   velkor-updater_<version>_amd64.deb (and its -dbgsym package),
#   velkor-updater-<version>-windows-x86.zip (and -debug.zip, the programs' debug information),
#   SHA256SUMS of everything in dist/.
# Usage: scripts/release.sh [CMAKE_ARGS...]
#   scripts/release.sh -DVELKOR_FIRMWARE_IMAGE=/abs/image.bin -DVELKOR_FIRMWARE_VERSION=R06.00.02
# Environment: DIST (default dist/), RELEASE_WORK (the build folder; default a fresh temporary
# one, removed afterwards). Two runs on one commit give byte-identical files: the times are the
# last commit's (SOURCE_DATE_EPOCH) and no build path reaches the files.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
install_packages cmake g++ ninja-build libgtest-dev libgmock-dev nlohmann-json3-dev git \
  dpkg-dev binutils zip g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
dist=$(realpath -m "${DIST:-dist}")

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release: uncommitted changes are not in the release (it is built from HEAD)" >&2
fi
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export TZ=UTC LC_ALL=C
umask 022

if [ -n "${RELEASE_WORK:-}" ]; then
  work=$(realpath -m "$RELEASE_WORK")
  rm -rf "$work"
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
src=$work/src
mkdir -p "$src"
git archive HEAD | tar -x -C "$src"

echo "release: Linux build"
# Hardened as Debian builds its packages.
cmake -S "$src" -B "$work/linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_WERROR=ON \
  -DCMAKE_CXX_FLAGS="-fstack-protector-strong -fstack-clash-protection -fcf-protection \
-D_FORTIFY_SOURCE=2" -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" "$@" >/dev/null
cmake --build "$work/linux" --target velkor-update velkor-tool velkor_package_docs >/dev/null
source "$work/linux/packaging/package.env"  # package_version
version=$package_version

echo "release: Windows x86 build"
cmake -S "$src" -B "$work/win-x86" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELKOR_WERROR=ON -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mingw-w64-i686.cmake" \
  "$@" >/dev/null
cmake --build "$work/win-x86" --target VelkorUpdate VelkorTool >/dev/null

rm -rf "$dist"
mkdir -p "$dist"
"$src/packaging/make_deb.sh" "$work/linux" "$dist" >/dev/null

# The zip: stripped programs with a link to their debug files, which go into a zip of their own.
name=velkor-updater-$version-windows-x86
zipdir=$work/zip/$name
debugdir=$work/zip/$name-debug
mkdir -p "$zipdir" "$debugdir"
for program in VelkorUpdate VelkorTool; do
  cp "$work/win-x86/programs/$program.exe" "$zipdir/"
  (cd "$zipdir" &&
    i686-w64-mingw32-objcopy --only-keep-debug "$program.exe" "$debugdir/$program.exe.debug" &&
    i686-w64-mingw32-strip --strip-debug --strip-unneeded "$program.exe" &&
    cd "$debugdir" && i686-w64-mingw32-objcopy --add-gnu-debuglink="$program.exe.debug" \
      "$zipdir/$program.exe")
done
sed -e "s/@VELKOR_IMAGE_VERSION@/R$version/g" -e 's/$/\r/' \
  "$src/packaging/windows/README.txt.in" >"$zipdir/README.txt"
(cd "$zipdir" && sha256sum VelkorTool.exe VelkorUpdate.exe README.txt >SHA256SUMS)
make_zip() {  # make_zip DIR ZIP: the folder's files in name order, every time the commit's
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$(dirname "$1")" && find "$(basename "$1")" -type f | sort | zip -X -D -q -9 "$2" -@)
}
make_zip "$zipdir" "$dist/$name.zip"
make_zip "$debugdir" "$dist/$name-debug.zip"

(cd "$dist" && sha256sum -- * >SHA256SUMS)
echo "release: $dist"
ls -l "$dist"
