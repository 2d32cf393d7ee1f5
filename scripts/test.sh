#!/usr/bin/env bash
# Installs what the build needs, builds everything with warnings as errors and runs every test:
# the plain build, AddressSanitizer + UndefinedBehaviorSanitizer, ThreadSanitizer on the
# end-to-end suite, the Windows build cross-compiled and run under Wine, and the Linux updater
# through a real kernel in QEMU against an emulated USB camera; then the release: the package and
# the zip built twice and compared, lintian, the package installed and removed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

install_packages cmake g++ ninja-build libgtest-dev libgmock-dev libbenchmark-dev \
  nlohmann-json3-dev libsqlite3-dev python3 python3-jsonschema \
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev \
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev \
  wine64 wine wine32:i386 xvfb imagemagick qemu-system-x86 busybox-static xz-utils cpio \
  clang-14 libclang-rt-14-dev

failed_stages=()
passed_stages=()
stage_times=("installing packages: ${SECONDS} s")
run_stage() {  # run_stage NAME COMMAND...: runs one stage, remembers how it ended and how long
  local name=$1 start=$SECONDS
  shift
  echo
  echo "=== ${name}"
  if "$@"; then passed_stages+=("$name"); else failed_stages+=("$name"); fi
  stage_times+=("${name}: $((SECONDS - start)) s")
}

# The process tests (label "process": whole programs driven from Python) spend most of their
# minute waiting on real time, so they run beside ctest's two slots instead of holding them.
run_ctest() {  # run_ctest CTEST_ARGS...: in a build folder
  ctest -N >/dev/null  # the suites' cases discovered once, before two ctest runs read the lists
  ctest --output-on-failure -L process "$@" >ctest-process.log 2>&1 &
  local aside=$! others=0 process=0
  ctest --output-on-failure -j2 -LE process "$@" || others=$?
  wait "$aside" || process=$?
  cat ctest-process.log
  [ "$others" -eq 0 ] && [ "$process" -eq 0 ]
}

build_and_test() {  # build_and_test DIR "TARGET..." CTEST_ARGS CMAKE_ARGS...
  local dir=$1 target=$2 ctest_args=$3
  shift 3
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_WERROR=ON "$@" >/dev/null &&
    cmake --build "$dir" --target $target &&
    (cd "$dir" && run_ctest $ctest_args)
}

run_stage "native build and tests" build_and_test build all ""
# The service tool's sampled faulted runs (the request-trace cases of tool-write) are left out
# here: the tool's own fault sweep case (tool_tests) runs its faulted writes under the
# sanitizers, as the updater's request-trace cases do.
run_stage "address and undefined-behaviour sanitizers" \
  build_and_test build-asan all "-E FaultedUpdate\\.SendsTheRecordedRequests/toolwrite" \
  -DVELKOR_SANITIZE=address,undefined
# The station's threads (one reader per camera's process) run under it too.
run_stage "thread sanitizer, end-to-end suite and station" \
  build_and_test build-tsan "e2e_tests station_tests" "-R ^(e2e|station)_tests\\." \
  -DVELKOR_SANITIZE=thread
# The sweeps make many thousand whole updates each, so they run on a build of their own that is
# optimised but keeps its assertions (-O2 without NDEBUG): about twice as fast as the debug build.
sweep_build() {
  cmake -S . -B build-opt -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O2 \
    -DVELKOR_WERROR=ON >/dev/null && cmake --build build-opt --target velkor-fault-sweep
}
# One fault per request index over a whole update, for three chip rows that differ in erase path
# (host or controller), setup registers and flash-mode query: every index outside the long
# write, read-back and erase-poll runs, every 64th inside them. Fails on any defect.
fault_sweep() {  # fault_sweep BUILD_DIR [SAMPLING...]: SAMPLING replaces "--stride 64"
  local build=$1
  shift
  [ $# -gt 0 ] || set -- --stride 64
  "$build/programs/velkor-fault-sweep" --rows 17,18,0 "$@" --jobs 2 --examples 12
}
# Every fault kind (lost, carried out but failed, bursts of 2 to 16, garbled replies, slow
# flash; the window closed, SIGTERM and SIGKILL at the index), each faulted run followed by
# fault-free runs from what it left, with the camera left
# attached and re-plugged: a camera that a second run cannot update is a defect, and so is
# one left without any firmware. Every 256th index in the long runs, every 16th elsewhere.
recovery_sweep() {  # recovery_sweep BUILD_DIR
  "$1/programs/velkor-fault-sweep" --rows 17,18,0 --kinds all --stride 256 --short-stride 16 \
    --rerun both --jobs 2 --examples 12
}
optimised_fault_sweep() { sweep_build && fault_sweep build-opt; }
run_stage "fault sweep, optimised build" optimised_fault_sweep
run_stage "recovery sweep (all fault kinds, re-run judge), optimised build" recovery_sweep build-opt
# Under the sanitizers a run costs four times as much, so this one samples: every third index
# outside the long runs (their ends kept) and every 256th inside them, 3,143 runs in all. The
# sweep on the optimised build covers each of these indices and more.
run_stage "fault sweep, sanitizer build (sampled)" fault_sweep build-asan --stride 256 --short-stride 3

# The reply-side fuzz target built for libFuzzer with clang, replaying its corpus (the corpus
# is also replayed by ctest in the builds above).
fuzz_corpus() {
  CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_FUZZ=ON \
    -DVELKOR_SANITIZE=address,undefined >/dev/null &&
    cmake --build build-fuzz --target reply_fuzzer &&
    build-fuzz/tests/reply_fuzzer tests/fuzz/corpus/*
}
if command -v clang++-14 >/dev/null; then
  run_stage "libFuzzer build, corpus replay" fuzz_corpus
fi
if [ -x tests/wine/run.sh ]; then
  # The stage finds out itself whether this machine runs 32-bit programs; where it does, the
  # 64-bit-only path (taken where it does not) is tested too, in a short second run.
  run_stage "Windows build under Wine" tests/wine/run.sh build-win
  if (source tests/wine/wine-lib.sh && wine_choose_loader && [ "$wine_32bit" = 1 ]); then
    run_stage "Windows build under Wine, 64-bit loader only (short)" \
      env VELKOR_WINE_NO_32BIT=1 VELKOR_WINE_QUICK=1 tests/wine/run.sh build-win
  else
    echo "no second Wine run: the stage above took the 64-bit-only path already"
  fi
fi
# Links the native build's objects statically for the guest; about 3 minutes under TCG.
if [ -x tests/kernel/run.sh ]; then
  run_stage "Linux updater through a real kernel (QEMU, uvcvideo, USB/IP)" tests/kernel/run.sh build
fi
# scripts/release.sh twice at two paths and compared, lintian, dpkg -i / velkor-update / dpkg -r,
# and a build for a second image and version: about 300 s of processor time (both releases
# compile everything, the compiler cache off), so about 3 minutes on two idle cores.
run_stage "release: reproducible package and zip, lintian, install test" tests/release/run.sh

echo
printf 'time: %s\n' "${stage_times[@]}"
echo "time: the whole test command ${SECONDS} s"
echo "stages passed: ${passed_stages[*]:-none}"
echo "stages failed: ${failed_stages[*]:-none}"
echo "stages: ${#passed_stages[@]} passed, ${#failed_stages[@]} failed"
[ ${#failed_stages[@]} -eq 0 ]
