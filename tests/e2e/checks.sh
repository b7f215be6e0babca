# SPDX-License-Identifier: MIT
# Counted checks for the test scripts: ok and bad print a PASS: or FAIL: line and count it,
# check runs a command as the test of a named check; only_lines FILE LINE... holds when every
# line of FILE is one of the LINEs (what a run may say on standard error). A script ends with
#   echo "$PASSN passed, $FAIL failed"; [ "$FAIL" = 0 ]
PASSN=0; FAIL=0
ok()  { echo "PASS: $*"; PASSN=$((PASSN + 1)); }
bad() { echo "FAIL: $*"; FAIL=$((FAIL + 1)); }
check() { local what=$1; shift; if "$@"; then ok "$what"; else bad "$what"; fi; }
only_lines() {
  local file=$1 l; shift
  local args=()
  for l in "$@"; do args+=(-e "$l"); done
  if [ ${#args[@]} = 0 ]; then [ ! -s "$file" ]; return; fi
  ! grep -v -x -F "${args[@]}" "$file" | grep -q .
}
