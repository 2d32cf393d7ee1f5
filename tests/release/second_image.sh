#!/usr/bin/env bash
# A build for another image and version: the configure-time checks of the version, then the
# simulator program built with a second image and R06.00.02, updated to "Pass" with that
# version's 17 bytes, the caption carrying it and the camera's flash holding that image.
# Usage: tests/release/second_image.sh BUILD_DIR   (builds only velkor-update-sim there)
set -uo pipefail
cd "$(dirname "$0")/../.."
source tests/release/lib.sh
build=$(realpath -m "$1")
mkdir -p "$build"

# The version's form, without a build: good forms pass, every other is refused with the reason.
for version in R06.00.02 R00.00.00 R99.99.99; do
  if cmake -DVERSION="$version" -P cmake/VelkorFirmwareVersion.cmake >/dev/null 2>&1; then
    pass "version form accepted: $version"
  else
    fail "version form refused: $version"
  fi
done
for version in "" R6.00.02 R06.00.2 r06.00.02 06.00.02 R06.00.002 R06-00-02 "R06 00 02" \
  R06.00.02x XR06.00.02 R0a.00.02; do
  if message=$(cmake -DVERSION="$version" -P cmake/VelkorFirmwareVersion.cmake 2>&1); then
    fail "version form accepted: '$version'"
  elif grep -q "is not a firmware version" <<<"$message"; then
    pass "version form refused with the reason: '$version'"
  else
    fail "version form refused without the reason: '$version': $message"
  fi
done

# The second image: the placeholder with its marker's version changed and 4 KiB of other bytes
# (never 0xFF, away from the configuration bytes), so that a build of the wrong image shows.
image=$build/second-image.bin
python3 - resources/firmware.bin "$image" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
marker = data.index(b"R06.00.01")
data[marker:marker + 9] = b"R06.00.02"
for offset in range(0x1000, 0x2000):
    data[offset] = (data[offset] + 1) % 0xFF
open(sys.argv[2], "wb").write(data)
PY

# Configure-time errors: a malformed version, and an image given without its version.
if message=$(cmake -S . -B "$build/refused" -G Ninja -DVELKOR_FIRMWARE_IMAGE="$image" \
  -DVELKOR_FIRMWARE_VERSION=R6.0.2 2>&1); then
  fail "configure accepted version R6.0.2"
  rm -rf "$build/refused"
else
  grep -q 'VELKOR_FIRMWARE_VERSION "R6.0.2" is not a firmware version' <<<"$message" &&
    pass "configure refuses version R6.0.2 with the reason" ||
    fail "configure refused R6.0.2 without the reason: $message"
fi
rm -rf "$build/refused"
if message=$(cmake -S . -B "$build/refused" -G Ninja -DVELKOR_FIRMWARE_IMAGE="$image" 2>&1); then
  fail "configure accepted another image without a version"
else
  grep -q "give its version with it" <<<"$message" &&
    pass "configure refuses another image without its version" ||
    fail "configure refused the image without the reason: $message"
fi
rm -rf "$build/refused"

if ! cmake -S . -B "$build/sim" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_WERROR=ON \
  -DVELKOR_FIRMWARE_IMAGE="$image" -DVELKOR_FIRMWARE_VERSION=R06.00.02 >/dev/null ||
  ! cmake --build "$build/sim" --target velkor-update-sim >/dev/null; then
  fail "build of velkor-update-sim with the second image"
else
  run=$build/run
  rm -rf "$run"
  mkdir -p "$run"
  (cd "$run" && "$build/sim/programs/velkor-update-sim" --fast --camera-state cam.state \
    </dev/null >output.txt 2>&1)
  expect_bytes "second image: Result.log is Pass CR LF R06.00.02 CR LF (17 bytes)" \
    "$run/Result.log" 'Pass\r\nR06.00.02\r\n'
  grep -qx "Update RX274B-T61C-LM07-QP-R06.00.02 Firmware" "$run/output.txt" &&
    pass "second image: the caption carries R06.00.02" ||
    fail "second image: caption not found in $run/output.txt"
  flash=$(awk '/^end$/{f=0} f{printf "%s", $0} /^flash$/{f=1}' "$run/cam.state")
  expected=$(od -An -tx1 -v "$image" | tr -d ' \n' | tr a-f A-F)
  [ -n "$flash" ] && [ "$flash" = "$expected" ] &&
    pass "second image: the camera's flash holds the second image" ||
    fail "second image: the camera's flash differs from the second image"
fi
echo "second image: $release_passed passed, $release_failed failed"
[ "$release_failed" -eq 0 ]
