#!/usr/bin/env bash
# Installs what the build needs, builds everything with warnings as errors and runs every test:
# the plain build, AddressSanitizer + UndefinedBehaviorSanitizer, ThreadSanitizer on the
# end-to-end suite, and the Windows build cross-compiled and run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

install_packages cmake g++ ninja-build libgtest-dev libgmock-dev libbenchmark-dev \
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev \
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev \
  wine64 wine wine32:i386 xvfb imagemagick

failed_stages=()
passed_stages=()
run_stage() {  # run_stage NAME COMMAND...: runs one stage, remembers how it ended
  local name=$1
  shift
  echo
  echo "=== ${name}"
  if "$@"; then passed_stages+=("$name"); else failed_stages+=("$name"); fi
}

build_and_test() {  # build_and_test DIR CTEST_ARGS CMAKE_ARGS...
  local dir=$1 ctest_args=$2
  shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_WERROR=ON "$@" >/dev/null &&
    cmake --build "$dir" &&
    (cd "$dir" && ctest --output-on-failure $ctest_args)
}

run_stage "native build and tests" build_and_test build ""
run_stage "address and undefined-behaviour sanitizers" \
  build_and_test build-asan "" -DVELKOR_SANITIZE=address,undefined
run_stage "thread sanitizer, end-to-end suite" \
  build_and_test build-tsan "-R e2e" -DVELKOR_SANITIZE=thread
if [ -x tests/wine/run.sh ]; then
  run_stage "Windows build under Wine" tests/wine/run.sh build-win
fi

echo
echo "stages passed: ${passed_stages[*]:-none}"
echo "stages failed: ${failed_stages[*]:-none}"
echo "stages: ${#passed_stages[@]} passed, ${#failed_stages[@]} failed"
[ ${#failed_stages[@]} -eq 0 ]
