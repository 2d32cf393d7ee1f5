#!/usr/bin/env bash
# The station's scaling: wall time of `velkor-tool-sim --cameras N --request-latency-us 125
# station --once` for N cameras, against one camera, and the peak memory of each camera's
# update process. A benchmark, not a check: it prints figures and judges nothing.
#
#   bench/station_benchmark.sh [BUILD_DIR] [RUNS]      (defaults: build, 3)
#   STATION_BENCH_COUNTS="1 2 4 8 16 24"  the camera counts
set -euo pipefail

build=${1:-build}
runs=${2:-3}
counts=${STATION_BENCH_COUNTS:-1 2 4 8 16 24}
tool=$(realpath "$build/programs/velkor-tool-sim")
image=$(realpath "$(dirname "$0")/../resources/firmware.bin")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

printf '%8s %10s %9s %8s %17s\n' cameras "wall (s)" "vs one" passed "peak KB/camera"
base=""
for n in $counts; do
  walls=()
  for ((run = 1; run <= runs; run++)); do
    rm -f "$work"/station.db*
    start=$(date +%s.%N)
    code=0
    "$tool" --cameras "$n" --request-latency-us 125 station --once "$image" \
      --db "$work/station.db" --json >"$work/out.json" 2>"$work/err.txt" || code=$?
    end=$(date +%s.%N)
    walls+=("$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f", b - a}')")
    if [ "$code" -ne 0 ]; then
      echo "cameras $n, run $run: exit code $code" >&2
      tail -3 "$work/err.txt" >&2
    fi
  done
  wall=$(printf '%s\n' "${walls[@]}" | median)
  [ -n "$base" ] || base=$wall
  passed=$(grep -c '"event":"ended".*"verdict":"Pass"' "$work/out.json" || true)
  peak=$(grep -o '"peak_memory_kb":[0-9]*' "$work/out.json" | cut -d: -f2 | median)
  printf '%8s %10.2f %9.3f %8s %17s\n' "$n" "$wall" "$(awk -v a="$wall" -v b="$base" 'BEGIN {print a / b}')" \
    "$passed/$n" "$peak"
done
