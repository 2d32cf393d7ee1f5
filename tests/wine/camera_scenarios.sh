#!/usr/bin/env bash
# Runs the shipped VelkorUpdate.exe under Wine against the fake camera (VelkorFakeCamera.dll and
# the cfgmgr32.dll stand-in): whole updates (two controller chips), a late camera, no camera,
# another maker's camera listed first, a failing request and an unplug during the write, a
# failed update followed by a second run on the camera state it left, and the window closed
# during the update; then the kernel-streaming wire check of the whole update. An update without flash
# busy times leaves its request record in RUNS_DIR/no-waits/run/fake-camera-state-ks.txt. Each
# run gets a fresh working directory and its own copy of the template prefix; up to JOBS runs go
# at once.
# Prints one "PASS: ..." or "FAIL: ..." line per check and "N passed, M failed" at the end; the
# exit code is 0 when nothing failed. VELKOR_WINE_SCENARIOS names the scenarios to run (default
# all; "close" brings "present", its reference, along); --list prints their names. Programs
# start through $VELKOR_WINE and $VELKOR_WINESERVER (default wine and wineserver).
#
# Usage: tests/wine/camera_scenarios.sh LABEL EXE_DIR FAKE_CAMERA_DIR TEMPLATE_PREFIX RUNS_DIR
#        PROBE_EXE IMAGE
#        tests/wine/camera_scenarios.sh --list
set -uo pipefail

if [ $# -ne 7 ] && [ "${1:-}" != --list ]; then
  echo "usage: $0 LABEL EXE_DIR FAKE_CAMERA_DIR TEMPLATE_PREFIX RUNS_DIR PROBE_EXE IMAGE" >&2
  exit 2
fi
wine=${VELKOR_WINE:-wine}
wineserver=${VELKOR_WINESERVER:-wineserver}
jobs=${JOBS:-4}

passed=0
failed=0
pass() { echo "PASS: $label: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $label: $1${2:+ ($2)}"; failed=$((failed + 1)); }

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;cfgmgr32=n,b"
unset DISPLAY

# A request in the middle of the flash write (the write runs from about request 1,600 to 9,800
# of a whole update).
mid_write_request=6000
# A request in the write before it reaches the configuration block at 0x8034 (about 5,700).
early_write_request=4000

# The scenarios: name and the fake camera's configuration.
declare -A config=(
  [present]="--erase-ms 300"
  [attach-tick-3]="--erase-ms 300 --attach 3"
  [no-camera]="--attach never"
  [other-maker-first]="--erase-ms 300 --other-device-first"
  [request-fails]="--erase-ms 300 --fail-request $mid_write_request --fail-result 0x8007001F"
  [unplug]="--erase-ms 300 --unplug-after $mid_write_request"
  [close]="--erase-ms 300 --pace-requests 8"
  [no-waits]="--erase-ms 0 --status-write-ms 0"
  [chip-row-9]="--erase-ms 300 --chip-row 9"
  [rerun]="--erase-ms 300 --fail-writes-from $early_write_request --camera-state camera.state"
)
# Scenarios that run the updater a second time, on the camera state the first run left (the
# camera unplugged and plugged in again), with this configuration. The first run's files are
# kept in RUNS_DIR/NAME-first.
declare -A second_run_config=(
  [rerun]="--erase-ms 300 --camera-state camera.state --replugged"
)
all=(present attach-tick-3 no-camera other-maker-first request-fails unplug close no-waits
  chip-row-9 rerun)

# The selection, in the order above; an unknown name is an error, not a silent skip.
wanted=" ${VELKOR_WINE_SCENARIOS:-${all[*]}} "
[[ "$wanted" == *" close "* ]] && wanted+="present "
for name in $wanted; do
  if [ -z "${config[$name]+set}" ]; then
    echo "no scenario \"$name\" (known: ${all[*]})" >&2
    exit 2
  fi
done
order=()
for name in "${all[@]}"; do
  [[ "$wanted" == *" $name "* ]] && order+=("$name")
done
ran() { [[ " ${order[*]} " == *" $1 "* ]]; }

if [ "${1:-}" = --list ]; then
  printf '%s\n' "${order[@]}"
  exit 0
fi
label=$1 exe_dir=$2 dll_dir=$3 template=$4 runs=$5 probe=$6 image=$7

# prepare DIR NAME: a working directory holding the shipped executable, the two fakes and the
# configuration, and a prefix that shares the template's files (the registry is copied).
prepare() {
  local dir=$1 name=$2
  rm -rf "$dir"
  mkdir -p "$dir/run" "$dir/prefix"
  cp "$exe_dir/VelkorUpdate.exe" "$dll_dir/VelkorFakeCamera.dll" "$dll_dir/cfgmgr32.dll" "$dir/run/"
  printf '%s\n' "${config[$name]}" >"$dir/run/fake-camera.ini"
  cp -al "$template/drive_c" "$dir/prefix/"
  cp -a "$template/dosdevices" "$template"/*.reg "$template/.update-timestamp" "$dir/prefix/"
}

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

# run_scenario NAME: runs the updater (and, for "close", the probe that closes its window during
# the update); leaves exit code, timings and the probe's output in the scenario's directory.
run_scenario() {
  local name=$1 dir="$runs/$1"
  prepare "$dir" "$name"
  export WINEPREFIX="$dir/prefix"
  local start end status
  start=$(now)
  if [ "$name" = close ]; then
    (cd "$dir/run" && timeout 90 "$wine" ./VelkorUpdate.exe >stdout.txt 2>stderr.txt) &
    local updater=$!
    # Two wine processes starting at once in a fresh prefix can race to set up its wineserver
    # ("fixed a temporary directory error, please try running the same command again"): the
    # probe starts once the updater has brought the server up. The read-back after the write
    # begins with "Check flash data." about four seconds in; the paced requests make it last
    # about a second.
    sleep 2
    (cd "$dir/run" && timeout 90 "$wine" "$probe" interrupt Result.log >"$dir/probe.txt" 2>&1)
    now >"$dir/closed-at"
    wait "$updater"
    status=$?
  else
    (cd "$dir/run" && timeout 90 "$wine" ./VelkorUpdate.exe >stdout.txt 2>stderr.txt)
    status=$?
  fi
  if [ -n "${second_run_config[$name]+set}" ]; then
    # The fake camera saves its state when the program's process unloads it.
    timeout 30 "$wineserver" -w || "$wineserver" -k
    local first="$runs/$name-first"
    rm -rf "$first"
    mkdir -p "$first"
    cp -a "$dir/run" "$first/run"
    echo "$status" >"$first/status"
    echo "$start $(now)" >"$first/times"
    rm -f "$dir/run/Result.log" "$dir/run"/fake-camera-state*
    printf '%s\n' "${second_run_config[$name]}" >"$dir/run/fake-camera.ini"
    start=$(now)
    (cd "$dir/run" && timeout 90 "$wine" ./VelkorUpdate.exe >stdout.txt 2>stderr.txt)
    status=$?
  fi
  end=$(now)
  echo "$status" >"$dir/status"
  echo "$start $end" >"$dir/times"
  timeout 30 "$wineserver" -w || "$wineserver" -k
  rm -rf "$dir/prefix"
}

mkdir -p "$runs"
for name in "${order[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
    wait -n
  done
  run_scenario "$name" &
done
wait

verdict_is() {  # verdict_is NAME BYTES: exit code 0 and Result.log holds exactly BYTES
  local dir="$runs/$1"
  local status
  status=$(cat "$dir/status" 2>/dev/null || echo missing)
  if [ "$status" != 0 ]; then
    fail "$1: exit code 0" "exit code $status"
  elif [ ! -f "$dir/run/Result.log" ]; then
    fail "$1: verdict" "no Result.log"
  elif ! cmp -s "$dir/run/Result.log" <(printf '%b' "$2"); then
    fail "$1: verdict" "Result.log holds $(od -c "$dir/run/Result.log" | head -2 | tr -s ' \n' ' ')"
  else
    pass "$1: Result.log holds $(printf '%b' "$2" | head -1 | tr -d '\r') ($(printf '%b' "$2" | wc -c) bytes)"
  fi
}

state_is() {  # state_is NAME KEY VALUE: the fake camera's final state
  local file="$runs/$1/run/fake-camera-state.txt"
  local value
  value=$(grep -m1 "^$2=" "$file" 2>/dev/null | cut -d= -f2-)
  if [ "$value" = "$3" ]; then
    pass "$1: $2=$3"
  else
    fail "$1: $2=$3" "${value:-no such line in $file}"
  fi
}

flash_is_image() {
  if cmp -s "$runs/$1/run/fake-camera-state-flash.bin" "$image"; then
    pass "$1: the flash holds the image"
  else
    fail "$1: the flash holds the image" "$(cmp "$runs/$1/run/fake-camera-state-flash.bin" "$image" 2>&1 | head -1)"
  fi
}

elapsed() { read -r a b <"$runs/$1/times" && seconds "$a" "$b"; }

# The camera present from the start: a whole update.
if ran present; then
  verdict_is present 'Pass\r\nR06.00.01\r\n'
  flash_is_image present
  state_is present flash_status 0x8c
  state_is present write_protect_active 1
  # No host action in a whole update that a real camera would mishandle.
  state_is present violations 0
  # Every filter and node control the program obtained was released again.
  state_is present filters_alive 0
  state_is present node_controls_alive 0
  echo "$label: one whole update took $(elapsed present) s under Wine"
fi

# Without flash busy times the update's requests do not depend on timing: the stage compares
# this run's record between the builds.
ran no-waits && verdict_is no-waits 'Pass\r\nR06.00.01\r\n'

# Another controller chip, one that erases the flash itself when asked (the default chip has
# the host drive the erase).
if ran chip-row-9; then
  verdict_is chip-row-9 'Pass\r\nR06.00.01\r\n'
  flash_is_image chip-row-9
  state_is chip-row-9 flash_status 0x8c
fi

if ran attach-tick-3; then
  verdict_is attach-tick-3 'Pass\r\nR06.00.01\r\n'
  state_is attach-tick-3 first_walk_with_camera 3
fi

if ran no-camera; then
  verdict_is no-camera 'Wrong Device\r\n'
  state_is no-camera tree_walks 6
  state_is no-camera first_walk_with_camera 0
fi

if ran other-maker-first; then
  verdict_is other-maker-first 'Pass\r\nR06.00.01\r\n'
  flash_is_image other-maker-first
  state_is other-maker-first other_device_requests_served 0
  # The other maker's filter is device 0: it may be asked to identify itself (selector 0 and 4,
  # which its unit's property set does not even carry), never for a register or the flash.
  ks="$runs/other-maker-first/run/fake-camera-state-ks.txt"
  foreign=$(awk '$3 == "dev=0" && $4 != "id=0" && $4 != "id=4"' "$ks" 2>/dev/null | wc -l)
  if [ -s "$ks" ] && [ "$foreign" -eq 0 ]; then
    pass "other-maker-first: the other maker's device got no register or flash request"
  else
    fail "other-maker-first: the other maker's device got no register or flash request" \
      "$foreign such requests"
  fi
fi

# One lost request in the middle of the write: the update tries again and passes.
if ran request-fails; then
  verdict_is request-fails 'Pass\r\nR06.00.01\r\n'
  flash_is_image request-fails
  state_is request-fails flash_status 0x8c
  state_is request-fails write_protect_active 1
  state_is request-fails filters_alive 0
fi
if ran unplug; then
  verdict_is unplug 'Fail'
  state_is unplug camera_present 0
  state_is unplug filters_alive 0
  unplug_time=$(elapsed unplug)
  if awk -v t="$unplug_time" 'BEGIN { exit !(t < 30) }'; then
    pass "unplug: the updater ended in $unplug_time s (no hang)"
  else
    fail "unplug: the updater ended within 30 s" "$unplug_time s"
  fi
fi

# A run that fails (every flash program request fails from the middle of the write on, while
# reads and register access still work), then a second run on the camera it left, re-plugged: the
# second must end "Pass" with the image and the protection on.
if ran rerun; then
  verdict_is rerun-first 'Fail'
  if [ -s "$runs/rerun-first/run/camera.state" ] &&
    ! cmp -s "$runs/rerun-first/run/fake-camera-state-flash.bin" "$image"; then
    pass "rerun: the first run saved the camera's state with the flash not holding the image"
  else
    fail "rerun: the first run saved the camera's state with the flash not holding the image"
  fi
  verdict_is rerun 'Pass\r\nR06.00.01\r\n'
  flash_is_image rerun
  state_is rerun flash_status 0x8c
  state_is rerun write_protect_active 1
  state_is rerun violations 0
  echo "$label: the failed run took $(elapsed rerun-first) s, the re-run $(elapsed rerun) s under Wine"
fi

# Closing the window inside the flash window, by SC_CLOSE and WM_CLOSE, with a logoff asked
# before and after: the logoff refused, the close noted and held, the update through to "Pass".
count() { awk "$1" "$runs/$2/run/fake-camera-state-ks.txt" 2>/dev/null | wc -l; }
if ran close; then
  dir="$runs/close"
  probe_failures=$(grep -c '^FAIL' "$dir/probe.txt" 2>/dev/null)
  if [ "$(grep -c '^PASS' "$dir/probe.txt" 2>/dev/null)" -lt 6 ] || [ "$probe_failures" != 0 ]; then
    fail "close: the probe's checks" "$(grep -v '^PASS' "$dir/probe.txt" 2>/dev/null | head -5)"
  else
    pass "close: logoff refused during the update, SC_CLOSE and WM_CLOSE held and noted, logoff allowed after"
  fi
  if [ "$(cat "$dir/status")" != 0 ] || ! cmp -s "$dir/run/Result.log" <(printf 'Pass\r\nR06.00.01\r\n'); then
    fail "close: exit code 0 and \"Pass\"" "exit code $(cat "$dir/status"), $(od -c "$dir/run/Result.log" 2>/dev/null | head -2)"
  else
    pass "close: the update ended with exit code 0 and \"Pass\""
  fi
  # The update ran whole: all 8,192 write chunks (selector 3 SETs of 8 bytes) and as many flash
  # reads as an update without the close.
  writes=$(count '$4 == "id=3" && $5 == "flags=0x10000002" && $9 ~ /^sent=....08/' close)
  reads=$(count '$4 == "id=3" && $5 == "flags=0x10000001"' close)
  whole=$(count '$4 == "id=3" && $5 == "flags=0x10000001"' present)
  if [ "$writes" -eq 8192 ] && [ "$reads" -eq "$whole" ]; then
    pass "close: all 8192 write chunks and $reads of $whole flash reads were sent"
  else
    fail "close: the whole update was sent" "$writes writes, $reads of $whole reads"
  fi
fi

# wire_mismatches KS SIM NODE: how many requests of the KSP_NODE record KS break the rules
# (Set the unit's GUID, Reserved 0, a 32-byte descriptor, Flags exactly GET or SET with the
# topology bit or the probe's set-support query, NodeId the unit's topology index NODE, the
# selector's payload length) plus how many lines differ from the simulator's record SIM.
wire_mismatches() {
  local malformed different
  malformed=$(awk -v node="node=$3" '
    function wrong(why) { n++; if (n <= 3) print "  request " NR ": " why > "/dev/stderr" }
    {
      if ($1 != "set={5B1E07C4-92D3-4F6A-8E21-3C7D94A0B6F8}") wrong("Set " $1)
      if ($2 != "reserved=0") wrong($2)
      if ($7 != "plen=32") wrong($7)
      id = substr($4, 4); flags = substr($5, 7)
      if (flags == "0x10000100") {
        if (id != 0 || $8 != "len=0") wrong("probe " $4 " " $8)
      } else {
        if (flags != "0x10000001" && flags != "0x10000002") wrong("Flags " flags)
        if ($6 != node) wrong("NodeId " $6)
        want = id == 1 ? 4 : id == 2 ? 8 : (id >= 3 && id <= 5) ? 12 : -1
        if ($8 != "len=" want) wrong("selector " id " with " $8)
      }
    }
    END { print n + 0 }' "$1")
  different=$(diff <(cut -d' ' -f3- "$1") "$2" | grep -c '^[<>]')
  echo $((malformed + different))
}

# The wire check: every KSP_NODE of the whole update, then request for request against the
# simulator's own record of the same update.
dir="$runs/present/run"
ks="$dir/fake-camera-state-ks.txt"
simrec="$dir/fake-camera-state-sim.txt"
node=$(grep -m1 '^extension_node=' "$dir/fake-camera-state.txt" 2>/dev/null | cut -d= -f2)
if ! ran present; then
  :
elif [ ! -s "$ks" ] || [ ! -s "$simrec" ] || [ -z "$node" ]; then
  fail "wire check" "no request records"
else
  requests=$(wc -l <"$ks")
  mismatches=$(wire_mismatches "$ks" "$simrec" "$node")
  if [ "$mismatches" -eq 0 ]; then
    pass "wire check: $requests requests, 0 mismatches (KSP_NODE fields and payloads equal the simulator's record)"
  else
    fail "wire check" "$requests requests, $mismatches mismatches"
  fi
  # The check itself: a record in which one SET request in the middle differs must not pass.
  line=$(awk -v middle=$((requests / 2)) 'NR >= middle && / flags=0x10000002 / { print NR; exit }' "$ks")
  for wrong in 's/reserved=0 /reserved=1 /' 's/ node=[0-9]* / node=9 /' \
    's/flags=0x10000002/flags=0x00000002/' 's/ sent=/ sent=00/' 's/^set={5B/set={6B/'; do
    sed "${line}${wrong}" "$ks" >"$dir/wrong-ks.txt"
    if [ "$(wire_mismatches "$dir/wrong-ks.txt" "$simrec" "$node" 2>/dev/null)" -eq 0 ]; then
      fail "wire check finds a request changed by '$wrong'"
    else
      pass "wire check finds a request changed by '$wrong'"
    fi
  done
  rm -f "$dir/wrong-ks.txt"
fi

echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
