#!/usr/bin/env bash
# Cross-compiles the Windows build into BUILD_DIR (x86-64) and BUILD_DIR-x86 and runs its checks
# under Wine: the adapter suite, the updater without a camera, the simulator build to "Pass" and
# "Fail", both builds' updaters against the fake camera, the dialog's controls as the running
# window shows them, and (with Xvfb) screenshots of the dialog.
#
# On a machine whose kernel runs no 32-bit programs (or with VELKOR_WINE_NO_32BIT=1) every
# x86-64 check runs through the 64-bit loader in a prefix of its own, each x86 run is reported
# as "SKIP: name (reason)" and the closing line counts them; the x86 build is still built and
# checked as a file. VELKOR_WINE_QUICK=1 runs a short selection: the static checks, the adapter
# suite, the simulator to "Pass" and one whole update against the fake camera.
# Usage, from the repository root: tests/wine/run.sh BUILD_DIR
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath -m "$1")
cd "$repo" || exit 2

source "$repo/tests/wine/wine-lib.sh"
wine_choose_loader
wine_path_line
quick=${VELKOR_WINE_QUICK:-0}
[ "$quick" = 1 ] && echo "quick run: static checks, adapter suite, simulator to Pass, one whole update"
stage_started=$(date +%s)

passed=0
failed=0
skipped=0
pass() { echo "PASS: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1${2:+ ($2)}"; failed=$((failed + 1)); }
skip() { echo "SKIP: $1 ($2)"; skipped=$((skipped + 1)); }
no32=$wine_32bit_reason
finish() {
  echo "the Wine stage took $(($(date +%s) - stage_started)) s"
  if [ "$skipped" -gt 0 ]; then
    echo "wine: ${passed} passed, ${failed} failed, ${skipped} skipped"
  else
    echo "wine: ${passed} passed, ${failed} failed"
  fi
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
# The 64-bit loader alone sets a prefix up without its 32-bit half: that path has its own.
if [ "$wine_32bit" = 1 ]; then
  export WINEPREFIX="$build/wineprefix"
  runs="$build/wine-runs"
else
  export WINEPREFIX="$build/wineprefix-64bit-only"
  runs="$build/wine-runs-64bit-only"
fi
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

wine=$VELKOR_WINE
wine_settle() { timeout 30 "$VELKOR_WINESERVER" -w || "$VELKOR_WINESERVER" -k; }

# set_graphics_driver NAME: selects Wine's graphics driver for the prefix ("null" or "x11").
set_graphics_driver() {
  timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$1" /f >/dev/null 2>&1
  wine_settle
}

if [ ! -f "$WINEPREFIX/.velkor-ready" ]; then
  echo "creating the Wine prefix"
  mkdir -p "$WINEPREFIX"
  if [ "$wine_32bit" = 1 ]; then
    timeout 180 wineboot -i >/dev/null 2>&1
  else
    timeout 180 "$wine" wineboot -i >/dev/null 2>&1
  fi
  wine_settle
  set_graphics_driver null
  if [ -f "$WINEPREFIX/system.reg" ]; then
    touch "$WINEPREFIX/.velkor-ready"
  else
    fail "Wine prefix created in $WINEPREFIX" "no system.reg"
    finish
  fi
fi

# run_in DIR SECONDS EXE ARGS...: runs a Windows program with DIR as its working directory and
# leaves its exit code in $status.
run_in() {
  local dir=$1 seconds=$2
  shift 2
  mkdir -p "$dir"
  (cd "$dir" && timeout "$seconds" "$wine" "$@" >"$dir/stdout.txt" 2>"$dir/stderr.txt")
  status=$?
  wine_settle
}

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

# in_full_run: the check belongs to the full run only (VELKOR_WINE_QUICK=1 leaves it out).
in_full_run() { [ "$quick" != 1 ]; }

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

if [ "$x86_built" != 1 ]; then
  :
elif [ "$wine_32bit" != 1 ]; then
  skip "x86 adapter suite" "$no32"
elif in_full_run; then
  run_in "$runs/adapters-x86" 120 "$build_x86/platform/win32/wine_tests/win32_adapter_tests.exe"
  if [ "$status" -eq 0 ]; then
    pass "x86 adapter suite ($(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$runs/adapters-x86/stdout.txt"))"
  else
    fail "x86 adapter suite" "exit code $status, see $runs/adapters-x86/stdout.txt"
  fi
fi

# The updater on a machine without the camera (Wine's device tree is empty): six poll ticks,
# then "Wrong Device".
if in_full_run; then
  run_in "$runs/no-camera" 60 "$bin/VelkorUpdate.exe"
  expect_verdict "VelkorUpdate.exe without a camera ends in Wrong Device" "$runs/no-camera" \
    'Wrong Device\r\n'
fi

run_in "$runs/sim-pass" 120 "$bin/VelkorUpdateSim.exe"
expect_verdict "VelkorUpdateSim.exe updates the simulated camera to Pass" "$runs/sim-pass" \
  'Pass\r\nR06.00.01\r\n'

if in_full_run; then
  run_in "$runs/sim-fail" 120 "$bin/VelkorUpdateSim.exe" --corrupt-readback last
  expect_verdict "VelkorUpdateSim.exe with a corrupted read-back ends in Fail" "$runs/sim-fail" 'Fail'
fi

# checks NAME COMMAND...: runs a check script and counts each of its PASS/FAIL/SKIP lines as a
# check; shows its other lines. A script that stops before its closing "N passed, M failed"
# line (a shell error, a signal) is a failure of its own, so no check can go missing unseen.
checks() {
  local name=$1 out rc line closed=0 said_failed=0
  shift
  out=$("$@")
  rc=$?
  while IFS= read -r line; do
    case "$line" in
    PASS:*) pass "${line#PASS: }" ;;
    FAIL:*) fail "${line#FAIL: }" ;;
    SKIP:*) echo "$line" && skipped=$((skipped + 1)) ;;
    *)
      echo "  $line"
      if [[ "$line" =~ ^[0-9]+\ passed,\ ([0-9]+)\ failed ]]; then
        closed=1 said_failed=${BASH_REMATCH[1]}
      fi
      ;;
    esac
  done <<<"$out"
  # Exit code 0 exactly when the script counted no failure.
  if [ "$closed" != 1 ]; then
    fail "$name ran to its end" "exit code $rc, no closing line"
  elif [ "$rc" -ne "$([ "$said_failed" -eq 0 ] && echo 0 || echo 1)" ]; then
    fail "$name ran to its end" "exit code $rc after $said_failed failures"
  fi
}

# The shipped updater of each build, checked as a file and then run against the fake camera
# (the quick run: one whole update of the x86-64 build, and one closed in its flash window).
camera_started=$(date +%s)
image=$(sed -n 's/^VELKOR_FIRMWARE_IMAGE:[A-Z]*=//p' "$build/CMakeCache.txt")
scenarios=""
in_full_run || scenarios="present close"
for arch in x86 amd64; do
  if [ "$arch" = x86 ]; then
    [ "$x86_built" = 1 ] || continue
    dir=$build_x86 objdump=i686-w64-mingw32-objdump
  else
    dir=$build objdump=x86_64-w64-mingw32-objdump
  fi
  checks "check_executable.sh $arch" tests/wine/check_executable.sh "$arch" "$arch" "$objdump" \
    "$dir/programs/VelkorUpdate.exe" "$repo/tests/wine/windows7_imports.txt" \
    "$dir/rigs/fake_camera/cfgmgr32.dll"
  if [ "$arch" = x86 ] && [ "$wine_32bit" != 1 ]; then
    if names=$(VELKOR_WINE_SCENARIOS=$scenarios tests/wine/camera_scenarios.sh --list); then
      for name in $names; do
        skip "$arch: $name" "$no32"
      done
    else
      fail "the camera scenarios to skip" "camera_scenarios.sh --list ended with $?"
    fi
    continue
  fi
  checks "camera_scenarios.sh $arch" env VELKOR_WINE_SCENARIOS="$scenarios" \
    tests/wine/camera_scenarios.sh "$arch" "$dir/programs" "$dir/rigs/fake_camera" \
    "$WINEPREFIX" "$runs/camera-$arch" "$tests_bin/dialog_probe.exe" "$image"
done
echo "the fake camera runs took $(($(date +%s) - camera_started)) s"
# A 32-bit Windows machine, as on the production line (a 32-bit prefix, kept like the other):
# the x86 updater updates the camera; the x86-64 one does not even start and leaves no verdict.
if [ "$x86_built" = 1 ] && [ "$wine_32bit" != 1 ]; then
  skip "x86 updater on 32-bit Windows updates the camera" "$no32"
  skip "x86-64 updater does not start on 32-bit Windows" "$no32: no 32-bit prefix"
elif [ "$x86_built" = 1 ] && in_full_run; then
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
if [ "$x86_built" = 1 ] && [ "$wine_32bit" != 1 ]; then
  skip "the x86 and x86-64 updaters sent the same requests" "$no32: no x86 record"
elif [ "$x86_built" = 1 ] && in_full_run; then
  records=("$runs"/camera-{x86,amd64}/no-waits/run/fake-camera-state-ks.txt)
  if [ -s "${records[0]}" ] && cmp -s "${records[@]}"; then
    pass "the x86 and x86-64 updaters sent the same $(wc -l <"${records[0]}") requests"
  else
    fail "the x86 and x86-64 updaters sent the same requests" "$(cmp "${records[@]}" 2>&1)"
  fi
fi

if ! in_full_run; then
  echo "quick run: the dialog probe, screenshots and service tool checks are left out"
  finish
fi
# inspect NAME DIR PROBE-ARGS...: runs the probe next to a running simulator and
# counts each of its PASS/FAIL lines as a check.
inspect() {
  local name=$1 dir=$2
  shift 2
  (cd "$dir" && timeout 60 "$wine" "$tests_bin/dialog_probe.exe" "$@" \
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
(cd "$dir" && timeout 60 "$wine" "$bin/VelkorUpdateSim.exe" --attach never >/dev/null 2>&1) &
sim_pid=$!
inspect "dialog" "$dir" check
wait "$sim_pid"
status=$?
wine_settle
expect_verdict "VelkorUpdateSim.exe without a camera ends in Wrong Device" "$dir" \
  'Wrong Device\r\n'

# Closing the window while it waits ends the program at once, with exit code 0 and no verdict.
# Timed from the close, not from the start: on a busy machine the window alone can take seconds
# to appear. Left alone, the program would give up about six seconds after the window appears.
dir="$runs/close"
mkdir -p "$dir"
(cd "$dir" && timeout 60 "$wine" "$bin/VelkorUpdateSim.exe" --attach never >/dev/null 2>&1) &
sim_pid=$!
inspect "close" "$dir" close
closed_at=$(date +%s.%N)
wait "$sim_pid"
status=$?
after=$(awk -v a="$closed_at" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
wine_settle
if [ "$status" -eq 0 ] && [ ! -e "$dir/Result.log" ] && awk -v t="$after" 'BEGIN { exit !(t < 3) }'; then
  pass "closing the dialog ends the program at once without a verdict ($after s after the close)"
else
  fail "closing the dialog ends the program at once without a verdict" \
    "exit code $status, $after s after the close, $(ls "$dir")"
fi

# Screenshots on a virtual X display: the dialog as it waits for the camera and at the end of
# an update; the probe saves the screen the moment the status line shows the text.
# The screenshots need a display: Xvfb and imagemagick, and an Xvfb that starts on this machine.
display_missing=
if ! command -v xvfb-run >/dev/null || ! command -v convert >/dev/null; then
  display_missing="xvfb-run or imagemagick missing"
elif ! xvfb_out=$(timeout 60 xvfb-run -a -s "-screen 0 640x480x24" true 2>&1); then
  display_missing="Xvfb does not start: $(printf '%s' "$xvfb_out" | head -1)"
fi
if [ -z "$display_missing" ]; then
  dir="$runs/screens"
  mkdir -p "$dir"
  set_graphics_driver x11
  timeout 240 xvfb-run -a -s "-screen 0 640x480x24" bash -c '
    cd "$1" || exit 1
    timeout 90 "$VELKOR_WINE" "$2/VelkorUpdateSim.exe" --attach 3 >/dev/null 2>&1 &
    timeout 60 "$VELKOR_WINE" "$3/dialog_probe.exe" shoot "Detect Device!!!" detect.bmp 0 >detect.txt
    timeout 60 "$VELKOR_WINE" "$3/dialog_probe.exe" shoot "Update Finish." finish.bmp 75 >finish.txt
    wait
    timeout 30 "$VELKOR_WINESERVER" -w || "$VELKOR_WINESERVER" -k
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
  skip "screenshots" "$display_missing"
fi

source "$repo/tests/wine/tool_checks.sh"  # the service tool without a camera

finish
