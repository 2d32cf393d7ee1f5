# Shared by the release checks: one line per check, and the tally the stage closes with.
release_passed=0
release_failed=0
pass() {  # pass MESSAGE
  echo "PASS: $*"
  release_passed=$((release_passed + 1))
}
fail() {  # fail MESSAGE
  echo "FAIL: $*"
  release_failed=$((release_failed + 1))
}
expect_bytes() {  # expect_bytes NAME FILE PRINTF-FORMAT: FILE holds exactly those bytes
  if [ -f "$2" ] && cmp -s "$2" <(printf "$3"); then
    pass "$1"
  else
    fail "$1: expected $(printf "$3" | od -An -c | tr -s ' '), got $(od -An -c "$2" 2>&1 | tr -s ' ')"
  fi
}
