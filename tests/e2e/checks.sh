# SPDX-License-Identifier: MIT
# Counted checks for the test scripts: ok and bad print a PASS: or FAIL: line and count it,
# check runs a command as the test of a named check; only_lines FILE LINE... holds when every
# line of FILE is one of the LINEs (what a run may say on standard error); stop PID... ends
# processes and waits for them; hands_over WHAT PID checks that a started program (a later
# start handing over) ends within 10 s with status 0 (wait_for comes from the script's
# helpers). A script ends with
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
stop() { local p; for p in "$@"; do [ -n "$p" ] && kill "$p" 2>/dev/null; done; for p in "$@"; do [ -n "$p" ] && wait "$p" 2>/dev/null; done; }
hands_over() {
  local what=$1 pid=$2 rc
  if wait_for 10 sh -c "! kill -0 $pid 2>/dev/null"; then
    wait "$pid"; rc=$?
    check "$what ends with status 0 (rc=$rc)" [ "$rc" = 0 ]
  else
    bad "$what still runs"; stop "$pid"
  fi
}
