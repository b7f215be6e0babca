#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tray program on a desktop with no notification area: Xvfb and openbox, no tray host,
# in the same private namespace as tray-e2e.sh. The program must say so once on standard
# error and show the query window, whose closing then ends it. Two more runs: a tray that
# starts after the window has opened (the icon docks, closing the window no longer ends the
# program, "Exit" does), and one that starts within the first look's grace (nothing shows).
# usage: notray-e2e.sh QUORVEX WHOISD RANGE_FILE_OR_OSTRAND_BUILD OUTDIR
# Exit 0 all checks passed, 1 a check failed, 77 this machine can't run it (says why).
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
. "$HERE/desktop.sh"
APP=$(realpath "${1:?quorvex}"); WHOISD=$(realpath "${2:?whoisd}"); RANGE=$(realpath "${3:?range}")
OUT=$(realpath -m "${4:?outdir}")
[ -x "$APP" ] || ns_skip "$APP not built"
ns_require_root
desk_require
ns_enter "$0" "$@"
export LSAN_OPTIONS="suppressions=$HERE/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

mkdir -p "$OUT"; rm -f "$OUT"/*.png
WORK=$(mktemp -d /tmp/quorvex-notray.XXXXXX)
. "$HERE/checks.sh"
APID=; TRAYER=
stop_app() { [ -n "$APID" ] && { kill "$APID" 2>/dev/null; wait "$APID" 2>/dev/null; }; APID=; }
stop_trayer() { [ -n "$TRAYER" ] && { kill "$TRAYER" 2>/dev/null; wait "$TRAYER" 2>/dev/null; }; TRAYER=; }
cleanup() { stop_app; stop_trayer; desk_down; ns_cleanup "$WORK"; }
trap cleanup EXIT

ns_up "$WORK" "$WHOISD" || exit 1
DESK_NO_TRAY=1 desk_up "$OUT" || exit 1
if [ -x "$RANGE" ]; then "$RANGE" /usr/share/tor/geoip "$WORK/Ostrand.dat" >/dev/null 2>&1
else cp "$RANGE" "$WORK/Ostrand.dat"; fi
cd "$WORK" || exit 1

SENTENCE='no notification area (system tray) was found'
start_app() { "$APP" >"$OUT/$1.out" 2>"$OUT/$1.err" & APID=$!; }
start_trayer() {
  trayer --edge top --align right --widthtype request --height 24 --tint 0x808080 \
    --transparent true --alpha 0 >>"$OUT/trayer.log" 2>&1 &
  TRAYER=$!
}
query_window() { xdotool search --all --onlyvisible --pid "$APID" --name '^Quorvex$' 2>/dev/null | head -1; }
has_query_window() { [ -n "$(query_window)" ]; }
no_query_window() { [ -z "$(query_window)" ]; }
said() { grep -c "$SENTENCE" "$OUT/$1.err"; }
ended() { ! kill -0 "$APID" 2>/dev/null; }
# The icon: a visible window of the program inside trayer's tree.
docked() {
  local tray w
  tray=$(xdotool search --onlyvisible --class trayer 2>/dev/null | head -1)
  [ -n "$tray" ] || return 1
  for w in $(visible_windows "$APID"); do
    xwininfo -tree -id "$tray" | grep -q "$(printf '0x%x' "$w")" && { echo "$w"; return 0; }
  done
  return 1
}

# 1. No tray at all: after the second look the window opens with the clipboard's address,
#    one sentence on standard error; a query works; Escape ends the program with status 0.
printf 'https://%s/a/page' "$NS_TEST_HOST" | xclip -selection clipboard -i >/dev/null 2>&1
start_app none
T0=$(date +%s%N)
if wait_for 15 has_query_window; then
  ok "without a tray the query window opens ($(( ($(date +%s%N) - T0) / 1000000 )) ms after start)"
  DLG=$(query_window); sleep 0.4
  check "it has the keyboard focus" [ "$(xdotool getwindowfocus)" = "$DLG" ]
  check "standard error says once that no notification area was found" [ "$(said none)" = 1 ]
  printf '' | xclip -selection clipboard -i >/dev/null 2>&1
  xdotool key ctrl+c
  wait_for 3 sh -c '[ -n "$(xclip -selection clipboard -o 2>/dev/null)" ]'
  check "the address box holds the clipboard's cleaned address" [ "$(xclip -selection clipboard -o 2>/dev/null)" = "$NS_TEST_HOST" ]
  xdotool key ctrl+a; xdotool type --delay 10 '193.0.6.139'; xdotool key Return
  check "a query from that window reaches the registry" wait_for 20 grep -q '^whois.ripe.net 193.0.6.139$' "$NS_QUERY_LOG"
  sleep 0.5; shot notray-window "$DLG"
  xdotool key Escape
  if wait_for 10 ended; then
    wait "$APID"; rc=$?; APID=
    check "closing the window ends the program with status 0 (rc=$rc)" [ "$rc" = 0 ]
    check "the sentence was said once in all" [ "$(said none)" = 1 ]
  else
    bad "the program still runs after its window closed"; stop_app
  fi
else
  bad "without a tray no window opened"; cat "$OUT/none.err"; stop_app
fi

# 2. A tray that starts after the window opened: the icon docks; closing the window leaves
#    the program running; "Exit" from the icon's menu ends it.
start_app late
if wait_for 15 has_query_window; then
  ok "late tray: the window opened first"
  start_trayer
  if wait_for 15 docked; then
    ok "the icon docks in the tray that came later"
    xdotool key Escape
    wait_for 5 no_query_window || bad "Escape did not close the window"
    sleep 2
    check "closing the window no longer ends the program" kill -0 "$APID"
    check "the icon stays docked" docked
    check "the sentence was said once" [ "$(said late)" = 1 ]
    # The program adds its icon afresh for the tray that came: a new window.
    ICON=$(docked)
    xdotool mousemove --window "$ICON" 11 11 click 3; sleep 0.8
    xdotool key Up; sleep 0.1; xdotool key Return
    if wait_for 10 ended; then
      wait "$APID"; rc=$?; APID=
      check "Exit ends it with status 0 (rc=$rc)" [ "$rc" = 0 ]
    else
      bad "Exit did not end the program"; stop_app
    fi
  else
    bad "the icon did not dock in the tray that came later"; stop_app
  fi
else
  bad "late tray: no window opened"; stop_app
fi
stop_trayer

# 3. A tray that starts within the grace of the first look: nothing but the icon.
start_app grace
sleep 0.5; start_trayer
wait_for 15 docked && ok "grace: the icon docks" || bad "grace: the icon did not dock"
sleep 5
check "grace: no window opened" no_query_window
check "grace: nothing said" [ "$(said grace)" = 0 ]
stop_app; stop_trayer

NOTICE="Quorvex: $SENTENCE; showing the query window instead. Closing it ends the program."
for run in none late grace; do
  check "$run: standard error holds the program's own notice only" only_lines "$OUT/$run.err" "$NOTICE"
done

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
