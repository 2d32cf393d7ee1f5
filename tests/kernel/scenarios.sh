# shellcheck shell=bash
# The kernel rig's scenarios. Each one is a pair of functions:
#   scenario_NAME       runs in the guest (busybox sh), in its own result directory, with the
#                       helpers of guest/guest-lib.sh;
#   judge_NAME DIR      runs on the host over what came back, with the helpers of judge-lib.sh.
# Adding a scenario means adding such a pair here; run.sh runs every scenario_ in file order.

# The camera is plugged in from the start: the whole update passes, the flash holds the image
# and the write protection is back.
scenario_present() {
  camera_plug cam
  wait_capture_nodes 1
  run_updater
  camera_unplug cam
}
judge_present() {
  expect_no_violations "$1" cam
  expect_result "$1" 'Pass\r\nR06.00.01\r\n'
  expect_flash_is_image "$1" cam
  expect_protection_restored "$1" cam
}

# The camera is plugged in half a second before the third poll tick.
scenario_attach_tick3() {
  camera_plug cam --attach-delay 2500
  run_updater
  camera_unplug cam
}
judge_attach_tick3() {
  expect_no_violations "$1" cam
  expect_result "$1" 'Pass\r\nR06.00.01\r\n'
  expect_flash_is_image "$1" cam
}

# No camera at all.
scenario_no_camera() {
  run_updater
}
judge_no_camera() {
  expect_result "$1" 'Wrong Device\r\n'
}

# Another maker's webcam, with an extension unit of its own, is enumerated first.
scenario_second_camera() {
  camera_plug webcam --model other --port 0
  wait_capture_nodes 1
  camera_plug cam --port 1
  wait_capture_nodes 2
  ls -l /sys/class/video4linux/
  run_updater
  camera_unplug cam
  camera_unplug webcam
}
judge_second_camera() {
  expect_no_violations "$1" cam
  expect_result "$1" 'Pass\r\nR06.00.01\r\n'
  expect_flash_is_image "$1" cam
  expect_state "$1" webcam extension_requests 0
}

# The camera is pulled in the middle of the flash write (its 3,000th SET_CUR).
scenario_unplug_write() {
  camera_plug cam --unplug-at-set 3000
  wait_capture_nodes 1
  run_updater
  camera_unplug cam
}
judge_unplug_write() {
  expect_result "$1" 'Fail'
  expect_state "$1" cam end unplugged
  expect_meta "$1" updater_exit 0
}

# The camera stalls one request in the middle of the flash write: one transient fault, after
# which the update tries again and ends "Pass", saying that it retried.
scenario_stall_write() {
  camera_plug cam --stall-set 3000
  wait_capture_nodes 1
  run_updater
  camera_unplug cam
}
judge_stall_write() {
  expect_no_violations "$1" cam
  expect_result "$1" 'Pass\r\nR06.00.01\r\n'
  expect_flash_is_image "$1" cam
  expect_protection_restored "$1" cam
  expect_updater_output "$1" 'retry'
}

# A user outside the video group, without the udev rule: the video node stays closed to him.
scenario_unprivileged() {
  camera_plug cam
  wait_capture_nodes 1
  ls -l /dev/video*
  run_updater bench
  camera_unplug cam
}
judge_unprivileged() {
  expect_result "$1" 'Fail'
  expect_result_owner "$1" 1000
  expect_state "$1" cam extension_requests 0
}

# The USB-level wire check: a camera whose flash erases at once, so that the update's requests
# do not depend on the machine's speed, against the same update on the simulator.
scenario_wire() {
  camera_plug cam --erase-ms 0 --status-write-ms 0
  wait_capture_nodes 1
  run_updater
  camera_unplug cam
}
judge_wire() {
  expect_no_violations "$1" cam
  expect_result "$1" 'Pass\r\nR06.00.01\r\n'
  expect_flash_is_image "$1" cam
  expect_wire_match "$1" cam
}

# A camera still starting up: it answers the driver's first streaming probe only after 1.5 s,
# so its interfaces are in sysfs well before its video node. Plugged in 1.6 s after the start,
# the second and third poll ticks fall in between.
scenario_slow_start() {
  camera_plug cam --probe-delay 1500 --attach-delay 1600
  run_updater
  camera_unplug cam
}
judge_slow_start() {
  expect_no_violations "$1" cam
  expect_result "$1" 'Pass\r\nR06.00.01\r\n'
  expect_flash_is_image "$1" cam
}

# The service tool identifies the camera through the kernel: the chip, and the protection
# read back as the board keeps it; nothing is written to the flash.
scenario_tool_identify() {
  camera_plug cam
  wait_capture_nodes 1
  run_tool identify --json
  camera_unplug cam
}
judge_tool_identify() {
  expect_no_violations "$1" cam
  expect_meta "$1" tool_exit 0
  expect_tool_output "$1" '"type":"summary"'
  expect_tool_output "$1" '"ours":true'
  expect_tool_output "$1" '"srwd":true'
  expect_state "$1" cam flash_changed 0
  expect_protection_restored "$1" cam
}

# The service tool writes the image through the kernel after backing up the old flash.
scenario_tool_write() {
  camera_plug cam
  wait_capture_nodes 1
  run_tool write /rig/firmware.bin --backup backup.bin --json
  camera_unplug cam
}
judge_tool_write() {
  expect_no_violations "$1" cam
  expect_meta "$1" tool_exit 0
  expect_tool_output "$1" '"protection_confirmed":true'
  expect_flash_is_image "$1" cam
  expect_protection_restored "$1" cam
  [ "$(stat -c %s "$1/work/backup.bin" 2>/dev/null)" = 65536 ] ||
    fail_because "no 65,536-byte backup"
}

# start_updater DIR OUT: velkor-update in the background in DIR, its output in OUT; its pid in
# $updater_pid. Started without timeout(1) so that a signal reaches the updater itself; a
# watchdog kills it after two minutes.
start_updater() {
  mkdir -p "$1"
  (cd "$1" && exec velkor-update) > "$2" 2>&1 &
  updater_pid=$!
  (sleep 120; kill -KILL "$updater_pid" 2>/dev/null) &
}

# await_flash_window FILE: until FILE holds the provisional "Fail" that the updater writes just
# before it releases the protection (at most 60 s).
await_flash_window() {
  local i=0
  while [ "$(cat "$1" 2>/dev/null)" != Fail ] && [ $i -lt 1200 ]; do
    i=$((i + 1))
    usleep 50000
  done
}

# SIGHUP, then SIGTERM, while the flash is written: both are held, the update ends "Pass".
scenario_signals_write() {
  camera_plug cam --erase-ms 1500
  wait_capture_nodes 1
  start_updater "$SCENARIO_DIR/work" "$SCENARIO_DIR/updater.out"
  await_flash_window "$SCENARIO_DIR/work/Result.log"
  usleep 2000000  # past the 1.5 s erase, into the write
  kill -HUP "$updater_pid"
  usleep 300000
  kill -TERM "$updater_pid"
  wait "$updater_pid"
  meta "updater_exit=$?"
  camera_unplug cam
}
judge_signals_write() {
  expect_no_violations "$1" cam
  expect_meta "$1" updater_exit 0
  expect_result "$1" 'Pass\r\nR06.00.01\r\n'
  expect_flash_is_image "$1" cam
  expect_protection_restored "$1" cam
  expect_updater_output "$1" 'Finishing the update, please wait ...'
}

# Two updaters started at once on one camera: one updates it, the other is refused at once.
scenario_two_updaters() {
  camera_plug cam
  wait_capture_nodes 1
  start_updater "$SCENARIO_DIR/work" "$SCENARIO_DIR/updater.out"
  local first=$updater_pid
  start_updater "$SCENARIO_DIR/work2" "$SCENARIO_DIR/updater2.out"
  wait "$first"
  meta "updater_exit=$?"
  wait "$updater_pid"
  meta "updater2_exit=$?"
  camera_unplug cam
}
judge_two_updaters() {
  local a b refused=
  a=$(od -An -c "$1/work/Result.log" 2>/dev/null | tr -d ' \n')
  b=$(od -An -c "$1/work2/Result.log" 2>/dev/null | tr -d ' \n')
  case "$a/$b" in
    'Pass\r\nR06.00.01\r\n/Fail') refused=updater2.out ;;
    'Fail/Pass\r\nR06.00.01\r\n') refused=updater.out ;;
    *) fail_because "the verdicts are \"$a\" and \"$b\", not one Pass and one Fail" ;;
  esac
  [ -z "${refused:-}" ] || grep -qF 'Camera in use by another program!!!' "$1/$refused" ||
    fail_because "the refused updater did not say the camera is in use"
  expect_meta "$1" updater_exit 0
  expect_meta "$1" updater2_exit 0
  expect_no_violations "$1" cam
  expect_flash_is_image "$1" cam
  expect_protection_restored "$1" cam
}

# A failed update, then a second one on the camera it left. The controller's write path breaks
# in the middle of the write: from its 4,000th unit request on (the write runs from about the
# 1,600th to the 9,800th and reaches the configuration block at 0x8034 at about the 5,700th), it
# stalls every flash program request, while flash reads and register access still work. The
# first run ends "Fail" with the flash partly written, its configuration block still erased. The camera is pulled, and a new
# camera process plugged in again starts from the state the first left (registers at power-on,
# flash and status register as they were): the second run must end "Pass" with the image and
# the protection on.
scenario_stall_write_rerun() {
  camera_plug cam --fail-writes-from 4000 --camera-state "$SCENARIO_DIR/camera.state"
  wait_capture_nodes 1
  run_updater
  camera_unplug cam
  wait_usb_gone
  camera_plug cam-rerun --camera-state "$SCENARIO_DIR/camera.state" --replugged
  wait_capture_nodes 1
  run_updater_as rerun rerun
  camera_unplug cam-rerun
}
judge_stall_write_rerun() {
  expect_result "$1" 'Fail'
  expect_meta "$1" updater_exit 0
  expect_state_at_least "$1" cam unit_requests 4000
  expect_state "$1" cam flash_changed 1
  expect_no_violations "$1" cam-rerun
  expect_meta "$1" rerun_exit 0
  expect_result_in "$1" rerun 'Pass\r\nR06.00.01\r\n'
  expect_flash_is_image "$1" cam-rerun
  expect_protection_restored "$1" cam-rerun
}

# A controller that erases the flash itself (row 9) answers the erase request only after the
# kernel driver's 5 s control timeout, while the flash goes on erasing for 2 s more: the host
# sees the request time out and must still end "Pass".
scenario_erase_timeout() {
  camera_plug cam --chip-row 9 --erase-ms 8000 --erase-answer-delay 6000
  wait_capture_nodes 1
  run_updater
  camera_unplug cam
}
judge_erase_timeout() {
  expect_state_at_least "$1" cam erase_answers_delayed 1
  expect_kernel_log "$1" 'UVC control 3 on unit [0-9]+: -110'
  expect_no_violations "$1" cam
  expect_result "$1" 'Pass\r\nR06.00.01\r\n'
  expect_flash_is_image "$1" cam
  expect_protection_restored "$1" cam
}

# plug_station_cameras [OPTIONS]: four cameras of our make, cam1 to cam4 on vhci ports 0 to 3
# (the guest's USB ports 1 to 4), each erasing at once so that its record can be compared with
# the simulator's; OPTIONS go to cam3 alone.
plug_station_cameras() {
  camera_plug cam1 --port 0 --erase-ms 0 --status-write-ms 0
  camera_plug cam2 --port 1 --erase-ms 0 --status-write-ms 0
  camera_plug cam3 --port 2 --erase-ms 0 --status-write-ms 0 "$@"
  camera_plug cam4 --port 3 --erase-ms 0 --status-write-ms 0
  wait_capture_nodes 4 40
  ls -l /sys/class/video4linux/
}

# run_station: the production station once over the cameras attached, each updated in a child
# process of its own at the same time, then its record as `history` lists it.
run_station() {
  local db="$SCENARIO_DIR/db/station.db"
  mkdir -p "$SCENARIO_DIR/db"
  run_tool_as station 400 station --once /rig/firmware.bin --db "$db" --json
  run_tool_as history 60 history --db "$db" --json
}

# expect_station_camera_updated DIR CAMERA: the station's update of this camera passed on its
# own: the image and the protection are on the flash, and its record is one whole write.
expect_station_camera_updated() {
  expect_no_violations "$1" "$2"
  expect_flash_is_image "$1" "$2"
  expect_protection_restored "$1" "$2"
  expect_tool_write_wire "$1" "$2"
}

# The production station updates four cameras at once, each in its own child process, and one
# of them breaks in the middle of the flash write: from its 12,000th unit request on (the tool's
# write runs from about the 8,400th to the 16,600th) every flash program request stalls. That
# camera ends "Fail"; the other three, updated at the same time, are not disturbed: each holds
# the image and its protection, and its record is one whole write. (Four cameras that all pass
# are left to the station's process tests on the simulator.)
scenario_station_stall() {
  plug_station_cameras --fail-writes-from 12000
  run_station
  camera_unplug cam1
  camera_unplug cam2
  camera_unplug cam3
  camera_unplug cam4
}
judge_station_stall() {
  expect_meta "$1" station_exit 1
  expect_station_endings "$1" 1:Pass 2:Pass 3:Fail 4:Pass
  expect_meta "$1" history_exit 0
  expect_history "$1" pass=3 fail=1
  local cam
  for cam in cam1 cam2 cam4; do
    expect_station_camera_updated "$1" "$cam"
  done
  expect_no_violations "$1" cam3
  expect_state_at_least "$1" cam3 unit_requests 12000
  expect_state "$1" cam3 flash_changed 1
  expect_protection_restored "$1" cam3
}
