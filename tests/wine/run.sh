#!/usr/bin/env bash
# Cross-compiles the Windows build into BUILD_DIR (x86-64) and BUILD_DIR-x86 and runs its checks
# under Wine: the adapter suite, the updater without a camera, the simulator build to "Pass" and
# "Fail", both builds' updaters against the fake camera, the dialog's controls as the running
# window shows them, and (with Xvfb) screenshots of the dialog.
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
bin="$build/programs"
tests_bin="$build/platform/win32/wine_tests"

# The x86 build, the one shipped to production lines: the updater and the fake camera.
build_x86="${build}-x86"
echo "building the x86 executables in ${build_x86}"
if cmake -S . -B "$build_x86" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-w64-i686.cmake" -DVELKOR_WERROR=ON \
  >/dev/null && cmake --build "$build_x86" -j2 --target VelkorUpdate VelkorFakeCamera cfgmgr32_standin \
  win32_adapter_tests; then
  pass "x86 cross build"
  x86_built=1
else
  fail "x86 cross build"
  x86_built=0
fi

# ---- The Wine prefix, kept in the build tree and reused ----
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

wine_settle() { timeout 30 wineserver -w || wineserver -k; }

# set_graphics_driver NAME: selects Wine's graphics driver for the prefix ("null" or "x11").
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

if [ "$x86_built" = 1 ]; then
  run_in "$runs/adapters-x86" 120 "$build_x86/platform/win32/wine_tests/win32_adapter_tests.exe"
  if [ "$status" -eq 0 ]; then
    pass "x86 adapter suite ($(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$runs/adapters-x86/stdout.txt"))"
  else
    fail "x86 adapter suite" "exit code $status, see $runs/adapters-x86/stdout.txt"
  fi
fi

# The updater on a machine without the camera (Wine's device tree is empty): six poll ticks,
# then "Wrong Device".
run_in "$runs/no-camera" 60 "$bin/VelkorUpdate.exe"
expect_verdict "VelkorUpdate.exe without a camera ends in Wrong Device" "$runs/no-camera" \
  'Wrong Device\r\n'

run_in "$runs/sim-pass" 120 "$bin/VelkorUpdateSim.exe"
expect_verdict "VelkorUpdateSim.exe updates the simulated camera to Pass" "$runs/sim-pass" \
  'Pass\r\nR06.00.01\r\n'

run_in "$runs/sim-fail" 120 "$bin/VelkorUpdateSim.exe" --corrupt-readback last
expect_verdict "VelkorUpdateSim.exe with a corrupted read-back ends in Fail" "$runs/sim-fail" 'Fail'

# tally: counts the PASS/FAIL lines of a check script as checks and shows its other lines.
tally() {
  local line
  while IFS= read -r line; do
    case "$line" in
    PASS:*) pass "${line#PASS: }" ;;
    FAIL:*) fail "${line#FAIL: }" ;;
    *) echo "  $line" ;;
    esac
  done
}

# The shipped updater of each build, checked as a file and then run against the fake camera.
camera_started=$(date +%s)
image=$(sed -n 's/^VELKOR_FIRMWARE_IMAGE:[A-Z]*=//p' "$build/CMakeCache.txt")
for arch in x86 amd64; do
  if [ "$arch" = x86 ]; then
    [ "$x86_built" = 1 ] || continue
    dir=$build_x86 objdump=i686-w64-mingw32-objdump
  else
    dir=$build objdump=x86_64-w64-mingw32-objdump
  fi
  tally < <(tests/wine/check_executable.sh "$arch" "$arch" "$objdump" \
    "$dir/programs/VelkorUpdate.exe" "$repo/tests/wine/windows7_imports.txt" \
    "$dir/rigs/fake_camera/cfgmgr32.dll")
  tally < <(tests/wine/camera_scenarios.sh "$arch" "$dir/programs" "$dir/rigs/fake_camera" \
    "$WINEPREFIX" "$runs/camera-$arch" "$tests_bin/dialog_probe.exe" "$image")
done
echo "the fake camera runs took $(($(date +%s) - camera_started)) s"
# A 32-bit Windows machine, as on the production line (a 32-bit prefix, kept like the other):
# the x86 updater updates the camera; the x86-64 one does not even start and leaves no verdict.
if [ "$x86_built" = 1 ]; then
  prefix32="$build/wineprefix-win32"
  if [ ! -f "$prefix32/.velkor-ready" ]; then
    echo "creating the 32-bit Wine prefix"
    mkdir -p "$prefix32"
    (export WINEPREFIX="$prefix32" WINEARCH=win32
      timeout 180 wineboot -i >/dev/null 2>&1
      wine_settle
      set_graphics_driver null) && touch "$prefix32/.velkor-ready"
  fi
  for arch in x86 amd64; do
    dir="$runs/win32-machine-$arch"
    mkdir -p "$dir"
    from=$([ "$arch" = x86 ] && echo "$build_x86" || echo "$build")
    cp "$from/programs/VelkorUpdate.exe" "$from"/rigs/fake_camera/*.dll "$dir/"
    WINEPREFIX="$prefix32" WINEARCH=win32 WINEDLLOVERRIDES="$WINEDLLOVERRIDES;cfgmgr32=n,b" \
      run_in "$dir" 60 ./VelkorUpdate.exe
    if [ "$arch" = x86 ]; then
      expect_verdict "x86 updater on 32-bit Windows updates the camera" "$dir" \
        'Pass\r\nR06.00.01\r\n'
    elif [ "$status" -ne 0 ] && [ ! -e "$dir/Result.log" ] &&
      grep -q "Bad EXE format" "$dir/stdout.txt" "$dir/stderr.txt"; then
      pass "x86-64 updater does not start on 32-bit Windows (bad EXE format, no Result.log)"
    else
      fail "x86-64 updater does not start on 32-bit Windows" \
        "exit code $status, $(cat "$dir/stdout.txt" "$dir/stderr.txt" | head -c 200), $(ls "$dir" | tr '\n' ' ')"
    fi
  done
fi

# The same update from both builds: the same requests, byte for byte.
if [ "$x86_built" = 1 ]; then
  records=("$runs"/camera-{x86,amd64}/no-waits/run/fake-camera-state-ks.txt)
  if [ -s "${records[0]}" ] && cmp -s "${records[@]}"; then
    pass "the x86 and x86-64 updaters sent the same $(wc -l <"${records[0]}") requests"
  else
    fail "the x86 and x86-64 updaters sent the same requests" "$(cmp "${records[@]}" 2>&1)"
  fi
fi

# inspect NAME DIR PROBE-ARGS...: runs the probe next to a running simulator and
# counts each of its PASS/FAIL lines as a check.
inspect() {
  local name=$1 dir=$2
  shift 2
  (cd "$dir" && timeout 60 wine "$tests_bin/dialog_probe.exe" "$@" \
    >"$dir/probe.txt" 2>"$dir/probe-stderr.txt")
  local probe_status=$?
  local lines
  lines=$(grep -E '^(PASS|FAIL): ' "$dir/probe.txt")
  if [ -z "$lines" ]; then
    fail "$name" "probe exit code $probe_status, no checks"
    return
  fi
  while IFS= read -r line; do
    case "$line" in
    PASS:*) pass "$name: ${line#PASS: }" ;;
    FAIL:*) fail "$name: ${line#FAIL: }" ;;
    esac
  done <<<"$lines"
}

# The dialog as it waits for a camera that never appears: resources, window and controls.
# The simulator then gives up after the sixth tick.
dir="$runs/inspect"
mkdir -p "$dir"
(cd "$dir" && timeout 60 wine "$bin/VelkorUpdateSim.exe" --attach never >/dev/null 2>&1) &
sim_pid=$!
inspect "dialog" "$dir" check
wait "$sim_pid"
status=$?
wine_settle
expect_verdict "VelkorUpdateSim.exe without a camera ends in Wrong Device" "$dir" \
  'Wrong Device\r\n'

# Closing the window while it waits ends the program at once, with exit code 0 and no verdict.
dir="$runs/close"
mkdir -p "$dir"
(cd "$dir" && timeout 60 wine "$bin/VelkorUpdateSim.exe" --attach never >/dev/null 2>&1) &
sim_pid=$!
started=$(date +%s)
inspect "close" "$dir" close
wait "$sim_pid"
status=$?
wine_settle
if [ "$status" -eq 0 ] && [ ! -e "$dir/Result.log" ] && [ $(($(date +%s) - started)) -lt 6 ]; then
  pass "closing the dialog ends the program at once without a verdict"
else
  fail "closing the dialog ends the program at once without a verdict" \
    "exit code $status, $(ls "$dir")"
fi

# Screenshots on a virtual X display: the dialog as it waits for the camera and at the end of
# an update; the probe saves the screen the moment the status line shows the text.
if command -v xvfb-run >/dev/null && command -v convert >/dev/null; then
  dir="$runs/screens"
  mkdir -p "$dir"
  set_graphics_driver x11
  timeout 240 xvfb-run -a -s "-screen 0 640x480x24" bash -c '
    cd "$1" || exit 1
    timeout 90 wine "$2/VelkorUpdateSim.exe" --attach 3 >/dev/null 2>&1 &
    timeout 60 wine "$3/dialog_probe.exe" shoot "Detect Device!!!" detect.bmp 0 >detect.txt
    timeout 60 wine "$3/dialog_probe.exe" shoot "Update Finish." finish.bmp 75 >finish.txt
    wait
    timeout 30 wineserver -w || wineserver -k
  ' screens "$dir" "$bin" "$tests_bin" >"$dir/xvfb.txt" 2>&1
  set_graphics_driver null
  for shot in detect finish; do
    if [ -f "$dir/$shot.bmp" ] && convert "$dir/$shot.bmp" "$build/wine-$shot.png"; then
      pass "screenshot saved: $build/wine-$shot.png"
    else
      fail "screenshot $shot" "see $dir"
    fi
    while IFS= read -r line; do
      case "$line" in
      PASS:*) pass "screen at $shot: ${line#PASS: }" ;;
      FAIL:*) fail "screen at $shot: ${line#FAIL: }" ;;
      esac
    done < <(grep -E '^(PASS|FAIL): ' "$dir/$shot.txt" 2>/dev/null)
  done
  status=0
  expect_verdict "VelkorUpdateSim.exe on the X display ends in Pass" "$dir" \
    'Pass\r\nR06.00.01\r\n'
else
  echo "SKIP: screenshots (xvfb-run or imagemagick missing)"
fi

source "$repo/tests/wine/tool_checks.sh"  # the service tool without a camera

finish
