#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tray icon's events on a real XEmbed tray (Xvfb, openbox, trayer), driven by xdotool:
# trayclicks prints each event the component raises, and this script checks which come and
# when: a click's OnClick at the release (not at the press), a double click as OnClick,
# OnDblClick, OnClick, a right click's OnRightClick at the release; and the icon docks again
# by itself when the tray host restarts.
# usage: tray-clicks-e2e.sh TRAYCLICKS OUTDIR
# Exit 0 all checks passed, 1 a check failed, 77 this machine can't run it (says why).
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
. "$HERE/desktop.sh"
PROG=$(realpath "${1:?trayclicks}"); OUT=$(realpath -m "${2:?outdir}")
[ -x "$PROG" ] || ns_skip "$PROG not built"
desk_require
mkdir -p "$OUT"
. "$HERE/checks.sh"
PID=
cleanup() { [ -n "$PID" ] && kill "$PID" 2>/dev/null; desk_down; }
trap cleanup EXIT

desk_up "$OUT" || exit 1
EVENTS=$OUT/events.txt
"$PROG" >"$EVENTS" 2>"$OUT/trayclicks.log" &
PID=$!
wait_for 15 sh -c "xdotool search --all --onlyvisible --pid $PID '' | grep -q ." || { bad "no icon window appeared"; exit 1; }
ICON=$(visible_windows "$PID" | head -1)
sleep 0.5

# The events printed since the last call, joined by spaces.
SEEN=0
events() { tail -n +$((SEEN + 1)) "$EVENTS" | xargs; }
settle() { sleep "${1:-0.7}"; }
consume() { SEEN=$(wc -l <"$EVENTS"); }
on_icon() { xdotool mousemove --window "$ICON" 11 11; sleep 0.2; }

# A click: nothing at the press, OnClick at the release.
on_icon
xdotool mousedown 1; settle
check "left press raises nothing yet (got: $(events))" [ -z "$(events)" ]
xdotool mouseup 1
wait_for 3 sh -c "[ \$(wc -l < '$EVENTS') -gt $SEEN ]"; settle
check "left release raises OnClick (got: $(events))" [ "$(events)" = "OnClick" ]
consume

# A double click: OnClick, OnDblClick, OnClick.
settle 1
xdotool click --repeat 2 --delay 120 1
wait_for 3 sh -c "[ \$(wc -l < '$EVENTS') -ge $((SEEN + 3)) ]"; settle
check "double click raises OnClick OnDblClick OnClick (got: $(events))" [ "$(events)" = "OnClick OnDblClick OnClick" ]
consume

# A right click: nothing at the press, OnRightClick at the release.
settle 1
xdotool mousedown 3; settle
check "right press raises nothing yet (got: $(events))" [ -z "$(events)" ]
xdotool mouseup 3
wait_for 3 sh -c "[ \$(wc -l < '$EVENTS') -gt $SEEN ]"; settle
check "right release raises OnRightClick (got: $(events))" [ "$(events)" = "OnRightClick" ]
consume

# The tray host restarts: the icon docks into the new tray by itself, and still clicks.
# desk_up started the tray host last.
tray_pid=${DESK_PIDS[${#DESK_PIDS[@]}-1]}
if [ -n "$tray_pid" ]; then
  kill "$tray_pid"; wait_for 5 sh -c "! kill -0 $tray_pid"
  gone() { [ -z "$(visible_windows "$PID")" ]; }
  check "with the tray host gone the icon is not shown" wait_for 5 gone
  trayer --edge top --align right --widthtype request --height 24 --tint 0x808080 \
    --transparent true --alpha 0 >>"$OUT/trayer.log" 2>&1 &
  DESK_PIDS+=($!)
  # The new tray may get the old one's window id; the icon comes back as a new window.
  docked() {
    local t; t=$(xdotool search --onlyvisible --class trayer | head -1)
    [ -n "$t" ] || return 1
    ICON=$(visible_windows "$PID" | head -1)
    [ -n "$ICON" ] && xwininfo -tree -id "$t" | grep -q "$(printf '0x%x' "$ICON")"
  }
  check "after the tray host restarts the icon docks again by itself" wait_for 15 docked
  sleep 0.5; on_icon
  xdotool click 1
  wait_for 3 sh -c "[ \$(wc -l < '$EVENTS') -gt $SEEN ]"; settle
  check "and a click on it raises OnClick (got: $(events))" [ "$(events)" = "OnClick" ]
  consume
else
  bad "no trayer process to restart"
fi

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
