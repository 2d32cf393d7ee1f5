#!/usr/bin/env bash
# Checks a Windows build's updater without running it: the processor architecture of the file
# and of its manifest, that every function it imports is on the list of those Windows 7
# already has (so the program loads there), and that the cfgmgr32.dll stand-in of the fake
# camera exports every Configuration Manager function the updater imports (Wine would end the
# program at the first call of a missing one instead of refusing to start it).
# Prints one "PASS: ..." or "FAIL: ..." line per check and "N passed, M failed" at the end; the
# exit code is 0 when nothing failed. Runs nothing under Wine, so it checks the x86 build on a
# machine that cannot run it too.
#
# Usage: tests/wine/check_executable.sh LABEL ARCH(x86|amd64) OBJDUMP EXE ALLOWLIST STANDIN_DLL
set -uo pipefail

if [ $# -ne 6 ]; then
  echo "usage: $0 LABEL ARCH OBJDUMP EXE ALLOWLIST STANDIN_DLL" >&2
  exit 2
fi
label=$1 arch=$2 objdump=$3 exe=$4 allowlist=$5 standin=$6

passed=0
failed=0
pass() { echo "PASS: $label: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $label: $1${2:+ ($2)}"; failed=$((failed + 1)); }

# imports FILE: "DLL function" lines, the DLL name in upper case.
imports() {
  "$objdump" -p "$1" | awk '
    /^[ \t]*DLL Name:/ { dll = toupper($3); next }
    /^$/ { }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $NF }' | sort -u
}

# exports FILE: exported names.
exports() {
  "$objdump" -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
    on && /^\t\[ *[0-9]+\] / { print $NF; next } on { on = 0 }' | sort -u
}

format=$("$objdump" -f "$exe" | awk '/file format/ { print $NF }')
want_format=$([ "$arch" = x86 ] && echo pei-i386 || echo pei-x86-64)
if [ "$format" = "$want_format" ]; then
  pass "$(basename "$exe") is a $want_format executable"
else
  fail "$(basename "$exe") is a $want_format executable" "$format"
fi

declared=$(grep -a -o 'processorArchitecture="[a-z0-9]*"' "$exe" | sort -u | tr '\n' ' ')
if [ "$declared" = "processorArchitecture=\"$arch\" " ]; then
  pass "the manifest declares $arch"
else
  fail "the manifest declares $arch" "${declared:-no architecture}"
fi

all=$(imports "$exe")
unknown=$(comm -23 <(echo "$all") <(grep -v '^#' "$allowlist" | sed '/^$/d' | sort -u))
if [ -z "$all" ]; then
  fail "import table read" "objdump found no imports"
elif [ -z "$unknown" ]; then
  pass "all $(echo "$all" | wc -l) imports are available on Windows 7"
else
  fail "all imports are available on Windows 7" \
    "not on $(basename "$allowlist"): $(echo "$unknown" | tr '\n' ',' | sed 's/,$//')"
fi

needed=$(echo "$all" | awk '$1 == "CFGMGR32.DLL" { print $2 }')
missing=$(comm -23 <(echo "$needed") <(exports "$standin"))
if [ -n "$needed" ] && [ -z "$missing" ]; then
  pass "the cfgmgr32.dll stand-in exports all $(echo "$needed" | wc -l) functions the updater imports"
else
  fail "the cfgmgr32.dll stand-in exports what the updater imports" "missing: $(echo "${missing:-no imports}" | tr "\n" " ")"
fi

echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
