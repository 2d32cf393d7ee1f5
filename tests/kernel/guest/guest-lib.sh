# shellcheck shell=dash
# Helpers for the guest's scenarios (sourced by /init): plugging emulated cameras in and out,
# waiting for the kernel, running the updater in a fresh working directory, and sending a
# finished scenario's directory to the host.
#
# Inside a scenario, $SCENARIO_DIR is its result directory. A camera NAME keeps its final state
# (state.txt, requests.txt, flash.bin) in $SCENARIO_DIR/NAME; the updater's working directory
# is $SCENARIO_DIR/work, its output $SCENARIO_DIR/updater.out; meta.txt collects key=value lines.

RESULTS_PORT=

uptime_s() { cut -d' ' -f1 /proc/uptime; }
now_ms() { awk '{ printf "%d", $1 * 1000 }' /proc/uptime; }
meta() { echo "$1" >> "$SCENARIO_DIR/meta.txt"; }

rig_open_results() {
  local port
  for port in /sys/class/virtio-ports/*; do
    [ "$(cat "$port/name" 2>/dev/null)" = rig.results ] || continue
    RESULTS_PORT=/dev/$(basename "$port")
    return 0
  done
  return 1
}

# camera_plug NAME [velkor-usb-camera options]: starts an emulated camera in the background.
camera_plug() {
  local name=$1
  shift
  mkdir -p "$SCENARIO_DIR/$name"
  velkor-usb-camera --state-dir "$SCENARIO_DIR/$name" --ready-file "$SCENARIO_DIR/$name/attached" \
    "$@" > "$SCENARIO_DIR/$name/tool.log" 2>&1 &
  echo $! > "$SCENARIO_DIR/$name/pid"
}

# camera_unplug NAME: ends the camera (it closes its socket, which unplugs it) and waits for its
# final state. A camera that already went (an injected unplug) is simply waited for.
camera_unplug() {
  local pid
  pid=$(cat "$SCENARIO_DIR/$1/pid" 2>/dev/null) || return 0
  kill -TERM "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  rm -f "$SCENARIO_DIR/$1/pid"
}

# wait_capture_nodes N [SECONDS]: until N capture nodes (V4L2 index 0) exist.
wait_capture_nodes() {
  local want=$1 limit=$(( ${2:-20} * 10 )) i=0
  while [ "$(capture_node_count)" -lt "$want" ]; do
    i=$((i + 1))
    [ $i -lt $limit ] || { echo "rig: only $(capture_node_count) of $want capture nodes"; return 1; }
    usleep 100000
  done
}

capture_node_count() {
  local n=0 node
  for node in /sys/class/video4linux/video*; do
    [ "$(cat "$node/index" 2>/dev/null)" = 0 ] && n=$((n + 1))
  done
  echo $n
}

# wait_usb_gone: until no device sits on a vhci port any more.
wait_usb_gone() {
  local i=0
  while ls -d /sys/bus/usb/devices/[0-9]*-[1-9]* >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -lt 100 ] || { echo "rig: USB devices still present"; return 1; }
    usleep 100000
  done
}

# run_updater [USER]: runs velkor-update in $SCENARIO_DIR/work, as root or as USER, bounded so
# that a hang shows as exit 137 instead of stopping the rig.
run_updater() {
  run_updater_as work updater "$@"
}

# run_updater_as DIR TAG [USER]: the same in $SCENARIO_DIR/DIR, its output in TAG.out, its exit
# code and time in meta.txt as TAG_exit and TAG_ms (for a scenario that runs it twice).
run_updater_as() {
  local dir="$SCENARIO_DIR/$1" tag=$2 user=${3:-} t0 rc
  mkdir -p "$dir"
  t0=$(now_ms)
  if [ -n "$user" ]; then
    chown "$user" "$dir"
    su -s /bin/sh "$user" -c "cd '$dir' && exec timeout -s KILL 120 velkor-update" \
      > "$SCENARIO_DIR/$tag.out" 2>&1
  else
    (cd "$dir" && exec timeout -s KILL 120 velkor-update) > "$SCENARIO_DIR/$tag.out" 2>&1
  fi
  rc=$?
  meta "${tag}_exit=$rc"
  meta "${tag}_ms=$(( $(now_ms) - t0 ))"
}

# run_tool ARGS...: the service tool (velkor-tool) with these arguments in a fresh working
# directory, its output in tool.out, its exit code and time in meta.txt.
run_tool() {
  run_tool_as tool 120 "$@"
}

# run_tool_as TAG SECONDS ARGS...: the same, its output in TAG.out, its exit code and time in
# meta.txt as TAG_exit and TAG_ms, killed after SECONDS (for a scenario that runs it more than
# once, or runs a station that updates several cameras).
run_tool_as() {
  local tag=$1 limit=$2 dir="$SCENARIO_DIR/work" t0
  shift 2
  mkdir -p "$dir"
  t0=$(now_ms)
  (cd "$dir" && exec timeout -s KILL "$limit" velkor-tool "$@") > "$SCENARIO_DIR/$tag.out" 2>&1
  meta "${tag}_exit=$?"
  meta "${tag}_ms=$(( $(now_ms) - t0 ))"
}

# rig_run_scenario NAME RUN: runs scenario_NAME in /results/NAME-RUN, cleans up after it and
# sends the directory to the host.
rig_run_scenario() {
  local name=$1 run=$2 t0
  SCENARIO_DIR=/results/$name-$run
  mkdir -p "$SCENARIO_DIR"
  echo "rig: scenario $name ($run) begins at guest uptime $(uptime_s) s"
  t0=$(now_ms)
  ( cd "$SCENARIO_DIR" && "scenario_$name" ) > "$SCENARIO_DIR/scenario.log" 2>&1
  meta "scenario_exit=$?"
  meta "scenario_ms=$(( $(now_ms) - t0 ))"
  # Whatever the scenario left plugged in is pulled before the next one starts.
  local pidfile
  for pidfile in "$SCENARIO_DIR"/*/pid; do
    [ -f "$pidfile" ] && kill -TERM "$(cat "$pidfile")" 2>/dev/null
  done
  wait_usb_gone >> "$SCENARIO_DIR/scenario.log" 2>&1
  dmesg -c > "$SCENARIO_DIR/dmesg.txt" 2>&1
  echo "rig: scenario $name ($run) ends after $(( $(now_ms) - t0 )) ms:" \
    "$(tr '\n' ' ' < "$SCENARIO_DIR/meta.txt")"
  if [ -n "$RESULTS_PORT" ]; then
    tar -C /results -c "$name-$run" | gzip -1 > "$RESULTS_PORT"
  fi
}
