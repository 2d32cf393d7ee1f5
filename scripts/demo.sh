#!/usr/bin/env bash
# Builds velkor-update-sim and runs the updater against the simulated camera in a scratch
# directory, then prints the Result.log it left. Arguments are passed to velkor-update-sim
# (for instance: scripts/demo.sh --attach 3, or --corrupt-readback last; see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/lib.sh

# The build configures the test suites and the service tool too, so GoogleTest, nlohmann-json
# and SQLite (the station's database) are needed even for this one target.
install_packages cmake g++ ninja-build libgtest-dev libgmock-dev nlohmann-json3-dev libsqlite3-dev

cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target velkor-update-sim

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo
echo "Running velkor-update-sim${*:+ $*} in $scratch"
echo
status=0
(cd "$scratch" && "$root/build/programs/velkor-update-sim" "$@") || status=$?
echo
if [ -f "$scratch/Result.log" ]; then
  echo "Result.log ($(wc -c <"$scratch/Result.log") bytes):"
  # The verdict's line ends are CR LF; show the text without the CRs.
  tr -d '\r' <"$scratch/Result.log"
  # "Fail" has no line end of its own.
  [ -z "$(tail -c 1 "$scratch/Result.log" | tr -d '\r\n')" ] || echo
else
  echo "No Result.log was left (the dialog was closed before a verdict)."
fi
exit "$status"
