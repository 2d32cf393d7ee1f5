#!/usr/bin/env bash
# The release stage of the test command: scripts/release.sh twice on this commit, the second
# time in a folder at another path, and the two results compared byte for byte; the
# checksums; lintian; the package installed, run and removed; a build for another image and
# version. Ends with "release: N passed, M failed" and the time each part took.
# Usage: tests/release/run.sh   (as root: the install test installs the package)
set -uo pipefail
cd "$(dirname "$0")/../.."
source tests/release/lib.sh
source scripts/lib.sh
install_packages lintian unzip python3
work=$(realpath -m build-release)
rm -rf "$work"
mkdir -p "$work"
# Both builds compile every source: a compiler cache would hand the second build the first
# build's objects and hide any path or time they embed.
export CCACHE_DISABLE=1
timings=()
cpu=0
children_cpu() {  # sets cpu: processor seconds (user + system) of the finished children so far
  times >"$work/times"  # in this shell: a subshell would count its own children only
  cpu=$(tail -1 "$work/times" | sed 's/[ms]/ /g' | awk '{printf "%d", $1 * 60 + $2 + $3 * 60 + $4}')
}
timed() {  # timed NAME COMMAND...: runs it and notes its wall-clock and processor seconds
  local name=$1 start=$SECONDS result cpu_before
  children_cpu
  cpu_before=$cpu
  shift
  "$@"
  result=$?
  children_cpu
  timings+=("$name: $((SECONDS - start)) s, processor $((cpu - cpu_before)) s")
  return $result
}

# Two releases of HEAD: dist/ (built in build-release/first) and one built at a longer path.
timed "first release" env DIST=dist RELEASE_WORK="$work/first" scripts/release.sh >/dev/null &&
  pass "scripts/release.sh: dist/" || fail "scripts/release.sh"
timed "second release" env DIST="$work/dist-second" \
  RELEASE_WORK="$work/second/at/another/path" scripts/release.sh >/dev/null &&
  pass "scripts/release.sh at another path" || fail "scripts/release.sh at another path"

version=$(dpkg-deb -f "$(ls dist/velkor-updater_*_amd64.deb | head -1)" Version 2>/dev/null)
deb=dist/velkor-updater_${version}_amd64.deb
zip=dist/velkor-updater-$version-windows-x86.zip
for file in "$deb" "dist/velkor-updater-dbgsym_${version}_amd64.deb" "$zip" \
  "dist/velkor-updater-$version-windows-x86-debug.zip" dist/SHA256SUMS; do
  [ -s "$file" ] && pass "artefact: $file" || fail "artefact missing: $file"
done
for file in dist/*; do
  cmp -s "$file" "$work/dist-second/${file#dist/}" && pass "reproducible: $file" ||
    fail "not reproducible: $file differs from the second build's"
done
# The x86 programs themselves, taken out of both zips.
mkdir -p "$work/unzip-first" "$work/unzip-second"
unzip -q "$zip" -d "$work/unzip-first" && unzip -q "$work/dist-second/${zip#dist/}" -d "$work/unzip-second"
for program in VelkorUpdate.exe VelkorTool.exe; do
  first=$(find "$work/unzip-first" -name "$program")
  second=$(find "$work/unzip-second" -name "$program")
  [ -n "$first" ] && cmp -s "$first" "$second" && pass "reproducible: $program (x86)" ||
    fail "not reproducible: $program (x86)"
  i686-w64-mingw32-objdump -f "$first" 2>/dev/null | grep -q "file format pei-i386" &&
    pass "$program is a 32-bit x86 program" || fail "$program is not a 32-bit x86 program"
done
# No path of either build reached any file (the comparison above would miss a path only if
# both builds embedded the same one).
for file in dist/* "$work"/unzip-first/*/*; do
  if grep -qaF -e "$work" -e "$(pwd)" "$file"; then fail "build path in $file"; else
    pass "no build path in ${file#$work/}"; fi
done
(cd dist && sha256sum --quiet -c SHA256SUMS) && pass "dist/SHA256SUMS checks" ||
  fail "dist/SHA256SUMS"
(cd "$work"/unzip-first/* && sha256sum --quiet -c SHA256SUMS &&
  [ "$(ls | tr '\n' ' ')" = "README.txt SHA256SUMS VelkorTool.exe VelkorUpdate.exe " ]) &&
  pass "the zip holds README.txt, SHA256SUMS and the two programs, and its checksums check" ||
  fail "the zip's content or its SHA256SUMS"

# lintian: no error; its warnings are listed.
start=$SECONDS
lintian_output=$(lintian dist/*.deb 2>&1)
timings+=("lintian: $((SECONDS - start)) s")
grep -q '^E:' <<<"$lintian_output" && fail "lintian errors" || pass "lintian: no error"
echo "$lintian_output" | grep -E '^[EW]:' || echo "lintian: no warnings"

timed "install test" tests/release/install_test.sh "$deb"
[ $? -eq 0 ] && pass "install test" || fail "install test"
timed "second image" tests/release/second_image.sh "$work/second-image"
[ $? -eq 0 ] && pass "build for a second image and version" ||
  fail "build for a second image and version"

rm -rf "$work/first" "$work/second" "$work/unzip-first" "$work/unzip-second"
printf 'time: %s\n' "${timings[@]}"
children_cpu
echo "time: whole stage $SECONDS s, processor $cpu s"
echo "release: $release_passed passed, $release_failed failed"
[ "$release_failed" -eq 0 ]
