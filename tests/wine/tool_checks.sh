# The service tool, VelkorTool.exe, under Wine, where there is no camera: list shows no device
# and succeeds, the camera commands end with exit code 3, a bad image is refused with 2 before
# any camera is looked for, and the JSON lines hold to the documented schema.
# Sourced by run.sh: uses its run_in, pass, fail, $bin, $runs and $repo.

tool_json_valid() {  # tool_json_valid FILE: every line of FILE is valid against the schema
  /usr/bin/python3 - "$repo/docs/velkor-tool.schema.json" "$1" <<'PY' 2>/dev/null
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
lines = [json.loads(l) for l in open(sys.argv[2], encoding="utf-8").read().splitlines() if l]
for line in lines:
    jsonschema.validate(line, schema)
assert lines and lines[-1]["type"] == "summary"
PY
}

tool_check() {  # tool_check NAME EXPECTED-CODE GREP-TEXT ARGS...
  local name=$1 expected=$2 text=$3
  shift 3
  run_in "$runs/tool" 60 "$bin/VelkorTool.exe" "$@"
  if [ "$status" -ne "$expected" ]; then
    fail "$name" "exit code $status, expected $expected; $(head -c 300 "$runs/tool/stderr.txt")"
  elif ! grep -q -- "$text" "$runs/tool/stdout.txt" "$runs/tool/stderr.txt"; then
    fail "$name" "no \"$text\" in the output"
  elif [[ " $* " == *" --json "* ]] && ! tool_json_valid "$runs/tool/stdout.txt"; then
    fail "$name" "JSON lines do not match docs/velkor-tool.schema.json"
  else
    pass "$name"
  fi
}

if [ -f "$bin/VelkorTool.exe" ]; then
  mkdir -p "$runs/tool"
  head -c 100 /dev/zero >"$runs/tool/short.bin"
  tool_check "VelkorTool.exe list without a camera shows no device" 0 \
    "no capture devices found" list
  tool_check "VelkorTool.exe list --json without a camera" 0 '"devices":\[\]' list --json
  tool_check "VelkorTool.exe identify without a camera exits 3" 3 "no camera found" identify
  tool_check "VelkorTool.exe identify --json without a camera" 3 '"no-camera"' identify --json
  tool_check "VelkorTool.exe refuses an image that is not 65,536 bytes" 2 "65,536" \
    write short.bin
  tool_check "VelkorTool.exe --help lists the exit codes" 0 "Exit codes:" --help
else
  fail "VelkorTool.exe" "was not built"
fi
