# shellcheck shell=bash
# Host-side judging of the kernel rig's results (sourced by run.sh). Each expect_ helper adds
# a reason to JUDGE_FAILURES when its check does not hold; judge_all runs every scenario's judge
# over the directory that came back and prints the tally.

JUDGE_FAILURES=()
WIRE_CHECK=
FIRMWARE_IMAGE=

fail_because() { JUDGE_FAILURES+=("$*"); }

# expect_result DIR TEXT: Result.log holds exactly TEXT (printf %b escapes).
expect_result() {
  expect_result_in "$1" work "$2"
}

# expect_result_in DIR WORKDIR TEXT: the same for the updater run in DIR/WORKDIR.
expect_result_in() {
  local file="$1/$2/Result.log" text=$3
  if [ ! -f "$file" ]; then
    fail_because "no $2/Result.log"
  elif ! cmp -s "$file" <(printf '%b' "$text"); then
    fail_because "$2/Result.log is \"$(od -An -c "$file" | tr -s ' ' | head -c 80)\", expected \"$text\""
  fi
}

# expect_result_owner DIR UID: the verdict was written by that user (the archive keeps owners).
expect_result_owner() {
  local owner
  owner=$(stat -c %u "$1/work/Result.log" 2>/dev/null)
  [ "$owner" = "$2" ] || fail_because "Result.log belongs to user \"$owner\", expected $2"
}

# expect_state DIR CAMERA KEY VALUE: the camera's state.txt says KEY=VALUE.
expect_state() {
  local file="$1/$2/state.txt" got
  got=$(sed -n "s/^$3=//p" "$file" 2>/dev/null)
  [ "$got" = "$4" ] || fail_because "$2: $3 is \"$got\", expected \"$4\""
}

expect_meta() {
  local got
  got=$(sed -n "s/^$2=//p" "$1/meta.txt" 2>/dev/null | tail -1)
  [ "$got" = "$3" ] || fail_because "$2 is \"$got\", expected \"$3\""
}

expect_flash_is_image() {
  cmp -s "$1/$2/flash.bin" "$FIRMWARE_IMAGE" || fail_because "$2: the flash does not hold the image"
}

# The status register's protection bits (SRWD and the block protection) are set again and the
# board holds WP# low, as before the update.
expect_protection_restored() {
  expect_state "$1" "$2" block_protect 1
  expect_state "$1" "$2" status_write_protect 1
  expect_state "$1" "$2" wp_pin_low 1
}

# The simulated camera recorded no host action that a real camera would mishandle.
expect_no_violations() {
  expect_state "$1" "$2" violations 0
  if [ -s "$1/$2/violations.txt" ]; then
    fail_because "$2: $(head -3 "$1/$2/violations.txt" | tr '\n' ';')"
  fi
}

expect_tool_output() {
  grep -qF "$2" "$1/tool.out" 2>/dev/null || fail_because "the tool never printed '$2'"
}

# expect_updater_output DIR TEXT [TAG]: the updater's output (TAG.out, default updater.out)
# holds TEXT.
expect_updater_output() {
  grep -qF "$2" "$1/${3:-updater}.out" 2>/dev/null ||
    fail_because "the updater never showed \"$2\"${3:+ in its $3 run}"
}

# expect_state_at_least DIR CAMERA KEY MIN: the camera's state.txt says KEY=N with N >= MIN.
expect_state_at_least() {
  local got
  got=$(sed -n "s/^$3=//p" "$1/$2/state.txt" 2>/dev/null)
  [ -n "$got" ] && [ "$got" -ge "$4" ] 2>/dev/null ||
    fail_because "$2: $3 is \"$got\", expected at least $4"
}

# expect_kernel_log DIR PATTERN: the guest kernel logged a line matching PATTERN (grep -E).
expect_kernel_log() {
  grep -qE "$2" "$1/dmesg.txt" 2>/dev/null || fail_because "the kernel never logged /$2/"
}

expect_wire_match() {
  local report
  if report=$("$WIRE_CHECK" "$1/$2/requests.txt" 2>&1); then
    echo "    $report"
  else
    fail_because "wire check: $report"
  fi
}

# expect_tool_write_wire DIR CAMERA: the camera's record holds exactly one whole `velkor-tool
# write` of the image, request for request as on the simulator, and nothing else: a request of
# another camera's update, or a second update, is a mismatch.
expect_tool_write_wire() {
  local report
  if report=$("$WIRE_CHECK" --tool-write "$FIRMWARE_IMAGE" "$1/$2/requests.txt" 2>&1); then
    echo "    $report"
  else
    fail_because "$2: wire check: $(head -4 <<<"$report" | tr '\n' ';')"
  fi
}

# expect_station_endings DIR PORT:VERDICT...: the station's JSON output (station.out) ended
# exactly one update on each USB port given (the N of the guest's device path "#1-N:1.0#"), with
# that verdict, and no other.
expect_station_endings() {
  local dir=$1 problem
  shift
  while IFS= read -r problem; do
    [ -z "$problem" ] || fail_because "station: $problem"
  done < <(python3 - "$dir/station.out" "$@" <<'PY'
import json, re, sys
wanted = dict(pair.split(":", 1) for pair in sys.argv[2:])
ended = []
try:
    lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().splitlines()
except OSError:
    lines = []
    print("no station.out")
for line in lines:
    try:
        event = json.loads(line)
    except ValueError:
        continue
    if event.get("type") == "station" and event.get("event") == "ended":
        match = re.search(r"#\d+-(\d+):1\.0#", event.get("port", ""))
        ended.append((match.group(1) if match else event.get("port"), event.get("verdict")))
seen = {}
for port, verdict in ended:
    if port in seen:
        print(f"port {port} ended twice")
    seen[port] = verdict
for port, verdict in wanted.items():
    if seen.get(port) != verdict:
        print(f"port {port} ended {seen.get(port, 'never')!r}, expected {verdict!r}")
for port in seen:
    if port not in wanted:
        print(f"an update ended on port {port}, which has no camera of this scenario")
PY
)
}

# expect_history DIR RESULT=COUNT...: `velkor-tool history --json` (history.out) lists exactly
# these attempts by result (pass=3 fail=1), each ended and each on a port of its own.
expect_history() {
  local dir=$1 problem
  shift
  while IFS= read -r problem; do
    [ -z "$problem" ] || fail_because "history: $problem"
  done < <(python3 - "$dir/history.out" "$@" <<'PY'
import collections, json, sys
wanted = {k: int(v) for k, v in (pair.split("=", 1) for pair in sys.argv[2:])}
records = None
try:
    for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
        try:
            summary = json.loads(line)
        except ValueError:
            continue
        if isinstance(summary.get("records"), list):
            records = summary["records"]
except OSError:
    pass
if records is None:
    print("no list of records in history.out")
    sys.exit()
counts = collections.Counter(r.get("result") for r in records)
if dict(counts) != wanted:
    print(f"results {dict(counts)}, expected {wanted}")
states = {r.get("state") for r in records}
if states - {"done"}:
    print(f"attempts in state {sorted(map(str, states - {'done'}))}")
ports = [r.get("port") for r in records]
if len(set(ports)) != len(ports):
    print("two attempts on one port")
# The emulated cameras' USB serial number, as the kernel's sysfs gives it.
serials = {r.get("serial") for r in records}
if serials != {"0001"}:
    print(f"serial numbers {sorted(map(str, serials))}, expected the cameras' 0001")
PY
)
}

# Prints how many requests each camera of a scenario served and at what rate.
report_rates() {
  local state requests first last span
  for state in "$1"/*/state.txt; do
    [ -f "$state" ] || continue
    requests=$(sed -n 's/^extension_requests=//p' "$state")
    first=$(sed -n 's/^first_request_ms=//p' "$state")
    last=$(sed -n 's/^last_request_ms=//p' "$state")
    [ -n "$first" ] && [ "${requests:-0}" -gt 1 ] || continue
    span=$((last - first))
    [ "$span" -gt 0 ] || continue
    echo "    $(basename "$(dirname "$state")"): $requests unit requests in ${span} ms," \
      "$((requests * 1000 / span)) per second; SET_CUR $(sed -n 's/^set_cur=//p' "$state")"
  done
}

# judge_all RESULTS SCENARIOS REPEAT WIRE_CHECK IMAGE
judge_all() {
  local results=$1 scenarios=$2 repeat=$3 name run dir passed=0 failed=0
  WIRE_CHECK=$4
  FIRMWARE_IMAGE=$5
  echo
  echo "=== kernel rig results"
  for name in $scenarios; do
    for run in $(seq 1 "$repeat"); do
      dir="$results/$name-$run"
      JUDGE_FAILURES=()
      if [ ! -f "$dir/meta.txt" ]; then
        fail_because "no results came back"
      elif ! grep -q '^scenario_ms=' "$dir/meta.txt"; then
        fail_because "the scenario did not finish"
      elif ! declare -F "judge_$name" >/dev/null; then
        fail_because "scenarios.sh has no judge_$name"
      else
        "judge_$name" "$dir"
      fi
      local timing
      timing=$(sed -n 's/^\(updater\|rerun\|station\)_ms=\(.*\)/\1 \2 ms/p' "$dir/meta.txt" 2>/dev/null |
        paste -sd, - | sed 's/,/, /g')
      if [ ${#JUDGE_FAILURES[@]} -eq 0 ]; then
        passed=$((passed + 1))
        echo "PASS $name ($run)${timing:+ $timing}"
      else
        failed=$((failed + 1))
        echo "FAIL $name ($run)${timing:+ $timing}"
        printf '    %s\n' "${JUDGE_FAILURES[@]}"
      fi
      report_rates "$dir"
    done
  done
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
