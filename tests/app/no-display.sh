#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Without a display the program says so in one line and ends with status 1: no X display or
# Wayland socket named at all, an X display that nobody serves, a Wayland socket that does not
# exist. Qt's own abort (status 134, its advice to reinstall) must not show.
# usage: no-display.sh QUORVEX
set -u
APP=$(realpath "${1:?quorvex}")
WORK=$(mktemp -d /tmp/quorvex-nodisplay.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
mkdir -m 0700 "$WORK/runtime"
ulimit -c 0
# A display number that no X server serves here.
n=917; while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done

FAIL=0
# run NAME ENV...: starts the program with only the given display settings.
run() {
  local name=$1; shift
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE -u WAYLAND_SOCKET \
    XDG_RUNTIME_DIR="$WORK/runtime" "$@" timeout -s KILL 20 "$APP" >"$WORK/out" 2>"$WORK/err"
  local rc=$?
  if [ "$rc" = 1 ] && [ "$(wc -l <"$WORK/err")" = 1 ] && grep -q '^Quorvex: no display was found (' "$WORK/err" \
      && [ ! -s "$WORK/out" ]; then
    echo "PASS: $name: status 1, $(cat "$WORK/err")"
  else
    echo "FAIL: $name: status $rc (want 1 and one line on standard error)"; cat "$WORK/err"; FAIL=1
  fi
}
run "no display at all"
run "an X display nobody serves" DISPLAY=":$n"
run "a Wayland socket that does not exist" WAYLAND_DISPLAY=quorvex-none QT_QPA_PLATFORM=wayland
run "a Wayland session without its socket, X as fallback" XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=quorvex-none
exit $FAIL
