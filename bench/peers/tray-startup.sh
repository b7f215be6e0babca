#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tray program's start-up to the icon shown in the tray, and its resident memory idle and
# after 100 queries typed into the query window, under Xvfb + openbox + trayer in a private
# namespace with whoisd standing in for the registries (as the end-to-end test does).
# usage: tray-startup.sh BUILD_DIR      env: RUNS=5 QUERIES=100 RANGE_FILES="Ostrand.dat Ostrand6.dat"
# RANGE_FILES names the range files of BUILD_DIR the program finds in its working directory
# (RANGE_FILES=Ostrand.dat: the IPv4 one only).
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${RUNS:-5}; QUERIES=${QUERIES:-100}; RANGE_FILES=${RANGE_FILES-Ostrand.dat Ostrand6.dat}
. "$SRC/tests/e2e/netns.sh"
. "$SRC/tests/e2e/desktop.sh"
APP=$BUILD/app/quorvex
WHOISD=$BUILD/tests/support/whoisd
[ -x "$APP" ] || ns_skip "$APP not built"
[ -x "$WHOISD" ] || ns_skip "$WHOISD not built"
ns_require_root
desk_require
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-tray-bench.XXXXXX)
APID=
trap '[ -n "$APID" ] && kill "$APID" 2>/dev/null; desk_down; ns_cleanup "$WORK"' EXIT
ns_up "$WORK" "$WHOISD" || exit 1
desk_up "$WORK" || exit 1
for f in $RANGE_FILES; do [ -f "$BUILD/$f" ] && cp "$BUILD/$f" "$WORK/"; done
echo "range files: $(cd "$WORK" && ls Ostrand*.dat 2>/dev/null | tr '\n' ' ')"
cd "$WORK" || exit 1

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
icon_of() { xdotool search --all --onlyvisible --pid "$1" '' 2>/dev/null | head -1; }

# Start-up: from exec to the icon's window mapped in the tray.
times=()
for ((r = 0; r < RUNS; r++)); do
  t0=$(date +%s%N)
  "$APP" >/dev/null 2>&1 &
  APID=$!
  until [ -n "$(icon_of "$APID")" ]; do
    kill -0 "$APID" 2>/dev/null || { echo "the program ended during start-up"; exit 1; }
    if (( ($(date +%s%N) - t0) > 20000000000 )); then echo "no icon after 20 s"; exit 1; fi
    sleep 0.01
  done
  times+=($(( ($(date +%s%N) - t0) / 1000000 )))
  if ((r < RUNS - 1)); then kill "$APID"; wait "$APID" 2>/dev/null; APID=; fi
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "tray program start-up to icon shown: median ${sorted[$((RUNS / 2))]} ms (runs: ${times[*]} ms)"

# Resident memory: idle, then after QUERIES queries of different addresses (each reply kept).
sleep 2
idle=$(rss_kb "$APID")
ICON=$(icon_of "$APID")
printf '' | xclip -selection clipboard -i >/dev/null 2>&1
xdotool mousemove --window "$ICON" 11 11 click 1
wait_for 10 sh -c "xdotool search --all --onlyvisible --pid $APID --name '^Quorvex\$' | grep -q ." || { echo "query window did not open"; exit 1; }
sleep 0.3
open=$(rss_kb "$APID")
t0=$(date +%s%N)
for ((i = 1; i <= QUERIES; i++)); do
  before=$(ns_queries)
  xdotool key ctrl+a
  xdotool type --delay 2 "8.8.$((i / 250)).$((i % 250 + 1))"
  xdotool key Return
  wait_for 10 sh -c "[ \$(wc -l < '$NS_QUERY_LOG') -gt $before ]" || { echo "query $i reached no server"; exit 1; }
done
sleep 1
elapsed=$(( ($(date +%s%N) - t0) / 1000000 ))
after=$(rss_kb "$APID")
echo "resident memory: idle ${idle} KiB, query window open ${open} KiB, after $QUERIES queries ${after} KiB (+$((after - idle)) KiB)"
echo "$QUERIES queries typed and answered in $elapsed ms"
