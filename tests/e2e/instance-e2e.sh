#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One program per user, end to end under Xvfb with openbox and trayer (no session bus: the
# later starts reach the first over its socket). A second start ends with status 0 and the
# first opens its query window with the clipboard's address; a start while that window is open
# brings it back to the front untouched; a first killed outright leaves a socket the next start
# takes over; two starts at once leave one program and one icon. Every run's standard error
# stays empty (with a tray the program has nothing to say).
# usage: instance-e2e.sh QUORVEX OUTDIR
# Exit 0 all checks passed, 1 a check failed, 77 this machine can't run it (says why).
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
. "$HERE/desktop.sh"
APP=$(realpath "${1:?quorvex}"); OUT=$(realpath -m "${2:?outdir}")
[ -x "$APP" ] || ns_skip "$APP not built"
ns_require_root
desk_require
ns_enter "$0" "$@"
export LSAN_OPTIONS="suppressions=$HERE/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

mkdir -p "$OUT"; rm -f "$OUT"/*.err "$OUT"/*.out
WORK=$(mktemp -d /tmp/quorvex-instance.XXXXXX)
. "$HERE/checks.sh"
PIDS=(); OTHER=
cleanup() {
  local p
  for p in "${PIDS[@]}" $OTHER; do kill "$p" 2>/dev/null; done
  for p in "${PIDS[@]}" $OTHER; do wait "$p" 2>/dev/null; done
  desk_down; rm -rf "$WORK"
}
trap cleanup EXIT
ip link set lo up
desk_up "$OUT" || exit 1
cd "$WORK" || exit 1
: >Ostrand.dat; : >Ostrand6.dat  # range files found: no notice of their absence on stderr
N=0
# start: a start in the background; its pid in LAST, its output in OUT/run-N.{out,err}.
start() { N=$((N + 1)); "$APP" >"$OUT/run-$N.out" 2>"$OUT/run-$N.err" & LAST=$!; PIDS+=("$LAST"); }
running() { kill -0 "$1" 2>/dev/null; }
ended() { ! running "$1"; }
# ends_with_0 PID: the start ended within 10 s, with status 0.
ends_with_0() { wait_for 10 ended "$1" && { wait "$1"; [ $? = 0 ]; }; }
tray() { xdotool search --onlyvisible --class trayer 2>/dev/null | head -1; }
# The icons docked in the tray: visible windows of any start inside trayer's tree.
icons() {
  local t w p
  t=$(tray)
  for p in "${PIDS[@]}"; do
    running "$p" || continue
    for w in $(visible_windows "$p"); do
      xwininfo -tree -id "$t" | grep -q "$(printf '0x%x' "$w")" && echo "$w"
    done
  done
}
one_icon() { [ "$(icons | wc -l)" = 1 ]; }
query_window() { xdotool search --all --onlyvisible --pid "$1" --name '^Quorvex$' 2>/dev/null | head -1; }
has_query_window() { [ -n "$(query_window "$1")" ]; }
no_query_window() { [ -z "$(query_window "$1")" ]; }
# What the query window's focused address box copies: its whole text when all of it is selected.
copied() {
  printf '' | xclip -selection clipboard -i >/dev/null 2>&1
  xdotool key ctrl+c
  wait_for 3 sh -c '[ -n "$(xclip -selection clipboard -o 2>/dev/null)" ]'
  xclip -selection clipboard -o 2>/dev/null
}
clip() { printf '%s' "$1" | xclip -selection clipboard -i >/dev/null 2>&1; }
quiet() { local f; for f in "$OUT"/run-*.err "$OUT"/run-*.out; do [ -s "$f" ] && { echo "  $f:"; cat "$f"; return 1; }; done; return 0; }

# 1. The first start: its icon.
start; FIRST=$LAST
wait_for 15 one_icon || { bad "the first start shows no icon"; exit 1; }
ok "the first start docks its icon"

# 2. A second start: ends with 0; the first opens its window with the clipboard's address.
clip 'https://second.quorvex.test/page?q=1'
start; SECOND=$LAST
check "a second start ends with status 0" ends_with_0 "$SECOND"
check "the query window opens in the first" wait_for 5 has_query_window "$FIRST"
check "one icon remains" one_icon
DLG=$(query_window "$FIRST"); sleep 0.3
check "the window has the keyboard focus" [ "$(xdotool getwindowfocus)" = "$DLG" ]
check "its address box holds the clipboard's cleaned address, all selected" [ "$(copied)" = second.quorvex.test ]

# 3. Another window takes the focus; a third start brings the query window back to the front,
#    its address untouched by the new clipboard.
xlogo -geometry 400x300+100+100 >/dev/null 2>&1 & OTHER=$!
other_shown() { [ -n "$(visible_windows "$OTHER")" ]; }
wait_for 5 other_shown; sleep 0.3
xdotool windowactivate --sync "$(visible_windows "$OTHER" | head -1)" 2>/dev/null
check "another window has the focus" [ "$(xdotool getwindowfocus)" != "$DLG" ]
clip 'https://third.quorvex.test/'
start; THIRD=$LAST
check "a start while the window is open ends with status 0" ends_with_0 "$THIRD"
check "the query window has the focus again" wait_for 5 sh -c "[ \"\$(xdotool getwindowfocus)\" = $DLG ]"
check "its address is untouched" [ "$(copied)" = second.quorvex.test ]
check "still one icon" one_icon
kill "$OTHER"; wait "$OTHER" 2>/dev/null; OTHER=
xdotool key Escape
wait_for 5 no_query_window "$FIRST"

# 4. The first killed outright leaves its socket; the next start takes it over.
kill -9 "$FIRST"; wait "$FIRST" 2>/dev/null
check "a killed first leaves its socket behind" test -S "$OUT/xdg/quorvex/socket"
start; NEW=$LAST
check "the next start takes over: its icon docks" wait_for 15 one_icon
clip 'https://fourth.quorvex.test/'
start
check "and a later start hands over to it" ends_with_0 "$LAST"
check "which opens its window" wait_for 5 has_query_window "$NEW"
xdotool key Escape; wait_for 5 no_query_window "$NEW"
kill "$NEW"; wait "$NEW" 2>/dev/null

# 5. Two starts at once: one program and one icon remain, and it opens its window for the other.
start; A=$LAST; start; B=$LAST
wait_for 10 sh -c "! kill -0 $A 2>/dev/null || ! kill -0 $B 2>/dev/null"
if ended "$A"; then LOSER=$A; WINNER=$B; else LOSER=$B; WINNER=$A; fi
check "of two starts at once one ends with status 0" ends_with_0 "$LOSER"
check "the other keeps running" running "$WINNER"
check "one icon" wait_for 15 one_icon
check "the one that runs opens its window" wait_for 5 has_query_window "$WINNER"
xdotool key Escape; wait_for 5 no_query_window "$WINNER"

check "every run's standard error and output are empty" quiet
echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
