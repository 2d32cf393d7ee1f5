#!/usr/bin/env bash
# Installs the package, runs what it installed, removes it and checks that nothing is left.
# Usage: tests/release/install_test.sh PACKAGE.deb   (as root; refuses when already installed)
set -uo pipefail
cd "$(dirname "$0")/../.."
source tests/release/lib.sh
deb=$(realpath "$1")
package=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)
status() { dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null; }

if [ "$(status)" = "installed" ]; then
  fail "$package is installed already; remove it (dpkg -r $package) and run again"
  echo "install test: $release_passed passed, $release_failed failed"
  exit 1
fi
# Where dpkg -i stops at a missing dependency, apt completes it from the archive.
if dpkg -i "$deb" >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -f -y -qq >/dev/null; then
  [ "$(status)" = "installed" ] && pass "dpkg -i installs $package $version" ||
    fail "dpkg -i: $package is $(status)"
else
  fail "dpkg -i $deb"
fi

line=$(/usr/bin/velkor-tool --version 2>&1)
[ "$line" = "velkor-tool R$version" ] && pass "velkor-tool --version: $line" ||
  fail "velkor-tool --version: '$line', expected 'velkor-tool R$version'"

# No camera: the updater polls six times a second apart, then gives its verdict.
scratch=$(mktemp -d)
start=$(date +%s%N)
(cd "$scratch" && timeout 60 /usr/bin/velkor-update </dev/null >output.txt 2>&1)
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
expect_bytes "velkor-update without a camera: Result.log is Wrong Device CR LF" \
  "$scratch/Result.log" 'Wrong Device\r\n'
[ "$elapsed_ms" -ge 5000 ] && [ "$elapsed_ms" -lt 15000 ] &&
  pass "velkor-update without a camera: the verdict after its six ticks (${elapsed_ms} ms)" ||
  fail "velkor-update without a camera took ${elapsed_ms} ms, not about six seconds"
rm -rf "$scratch"

cmp -s /usr/lib/udev/rules.d/70-velkor-camera.rules packaging/70-velkor-camera.rules &&
  pass "udev rule in /usr/lib/udev/rules.d" || fail "udev rule missing or different"
for file in /usr/share/man/man1/velkor-update.1.gz /usr/share/man/man1/velkor-tool.1.gz \
  /usr/share/bash-completion/completions/velkor-tool /usr/share/doc/$package/copyright \
  /usr/share/doc/$package/changelog.gz; do
  [ -s "$file" ] && pass "installed: $file" || fail "not installed: $file"
done
# The completion offers the subcommands.
words=$(bash -c 'source /usr/share/bash-completion/completions/velkor-tool
  COMP_WORDS=(velkor-tool --json ""); COMP_CWORD=2; _velkor_tool; echo "${COMPREPLY[*]}"')
[ "$words" = "list identify read verify write station history" ] && pass "bash completion: $words" ||
  fail "bash completion offers '$words'"

# Every path the package shipped, except the directories other packages share.
shipped=$(dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | grep -v '/$')
dpkg -r "$package" >/dev/null || fail "dpkg -r $package"
left=$(for path in $shipped /usr/share/doc/$package; do [ -e "$path" ] && echo "$path"; done)
[ -z "$left" ] && pass "dpkg -r leaves none of the package's files" ||
  fail "left after dpkg -r: $left"
[ -z "$(status)" ] || [ "$(status)" = "not-installed" ] &&
  pass "dpkg -r leaves no package state" || fail "after dpkg -r, $package is $(status)"
echo "install test: $release_passed passed, $release_failed failed"
[ "$release_failed" -eq 0 ]
