#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A second start of the tray program, which hands over to the running one and ends, against a
# first start up to its icon in the tray: Xvfb + openbox + trayer, no session bus (the socket),
# in a private namespace as the end-to-end tests run. Both timed from exec, the same program,
# interleaved.
# usage: handover.sh BUILD_DIR      env: RUNS=11
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${RUNS:-11}
. "$SRC/tests/e2e/netns.sh"
. "$SRC/tests/e2e/desktop.sh"
APP=$BUILD/app/quorvex
[ -x "$APP" ] || ns_skip "$APP not built"
ns_require_root
desk_require
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-handover-bench.XXXXXX)
FIRST=
trap '[ -n "$FIRST" ] && kill "$FIRST" 2>/dev/null; desk_down; rm -rf "$WORK"' EXIT
ip link set lo up
desk_up "$WORK" >/dev/null || exit 1
cd "$WORK" || exit 1

icon_of() { xdotool search --all --onlyvisible --pid "$1" '' 2>/dev/null | head -1; }
ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
starts=(); handovers=()
for ((r = 0; r < RUNS; r++)); do
  t0=$(date +%s%N)
  "$APP" >/dev/null 2>&1 & FIRST=$!
  until [ -n "$(icon_of "$FIRST")" ]; do
    kill -0 "$FIRST" 2>/dev/null || { echo "the first start ended"; exit 1; }
    sleep 0.005
  done
  starts+=($(ms "$t0"))
  t0=$(date +%s%N)
  "$APP" >/dev/null 2>&1 || { echo "the second start did not end with 0"; exit 1; }
  handovers+=($(ms "$t0"))
  kill "$FIRST"; wait "$FIRST" 2>/dev/null; FIRST=
done
s=$(median "${starts[@]}"); h=$(median "${handovers[@]}")
echo "second start handing over, exec to exit: median $h ms (runs: ${handovers[*]} ms)"
echo "first start, exec to icon shown: median $s ms (runs: ${starts[*]} ms)"
awk -v h="$h" -v s="$s" 'BEGIN { printf "hand-over / first start: %.2fx the time\n", h / s }'
