#!/usr/bin/env bash
# Cross-compiles the Windows build into BUILD_DIR and runs its checks under Wine: the adapter
# suite, the updater without a camera, the simulator build to "Pass" and "Fail", the dialog's
# controls as the running window shows them, and (with Xvfb) screenshots of the dialog.
# Usage, from the repository root: tests/wine/run.sh BUILD_DIR
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath -m "$1")
cd "$repo"

passed=0
failed=0
pass() { echo "PASS: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1${2:+ ($2)}"; failed=$((failed + 1)); }
finish() {
  echo "wine: ${passed} passed, ${failed} failed"
  [ "$failed" -eq 0 ]
  exit $?
}

# ---- The cross build ----
echo "building the Windows executables in ${build}"
if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-w64.cmake" -DVELKOR_WERROR=ON >/dev/null ||
  ! cmake --build "$build" -j2; then
  fail "cross build"
  finish
fi
pass "cross build"
bin="$build/platform/win32"
tests_bin="$bin/wine_tests"

# ---- The Wine prefix, kept in the build tree and reused ----
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

wine_settle() { timeout 30 wineserver -w || wineserver -k; }

# wine_reg GRAPHICS: selects Wine's graphics driver for the prefix ("null" or "x11").
set_graphics_driver() {
  timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$1" /f >/dev/null 2>&1
  wine_settle
}

if [ ! -f "$WINEPREFIX/.velkor-ready" ]; then
  echo "creating the Wine prefix"
  mkdir -p "$WINEPREFIX"
  timeout 180 wineboot -i >/dev/null 2>&1
  wine_settle
  set_graphics_driver null
  touch "$WINEPREFIX/.velkor-ready"
fi

# run_in DIR SECONDS EXE ARGS...: runs a Windows program with DIR as its working directory and
# leaves its exit code in $status.
run_in() {
  local dir=$1 seconds=$2
  shift 2
  mkdir -p "$dir"
  (cd "$dir" && timeout "$seconds" wine "$@" >"$dir/stdout.txt" 2>"$dir/stderr.txt")
  status=$?
  wine_settle
}

runs="$build/wine-runs"
rm -rf "$runs"
mkdir -p "$runs"

# expect_verdict NAME DIR BYTES: Result.log in DIR holds exactly BYTES and the run ended with 0.
expect_verdict() {
  local name=$1 dir=$2 expected=$3
  if [ "$status" -ne 0 ]; then
    fail "$name" "exit code $status"
  elif [ ! -f "$dir/Result.log" ]; then
    fail "$name" "no Result.log"
  elif ! cmp -s "$dir/Result.log" <(printf '%b' "$expected"); then
    fail "$name" "Result.log holds $(od -c "$dir/Result.log" | head -3 | tr -s ' \n' ' ')"
  else
    pass "$name"
  fi
}

# ---- Checks ----
if [ -f "$tests_bin/win32_adapter_tests.exe" ]; then
  run_in "$runs/adapters" 120 "$tests_bin/win32_adapter_tests.exe"
  if [ "$status" -eq 0 ]; then
    pass "adapter suite ($(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$runs/adapters/stdout.txt"))"
  else
    fail "adapter suite" "exit code $status, see $runs/adapters/stdout.txt"
    grep -E '^\[  FAILED|Failure|Expected|Which is|actual' "$runs/adapters/stdout.txt" | head -20
  fi
else
  fail "adapter suite" "win32_adapter_tests.exe was not built"
fi

finish
