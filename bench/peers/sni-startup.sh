#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tray program's start-up to its StatusNotifierItem registered with the watcher, under
# sway + waybar (headless) as an unprivileged user: the Wayland counterpart of the start-up
# figure of tray-startup.sh (XEmbed, Xvfb + trayer). Runs tests/e2e/wayland-e2e.sh in its
# measuring mode (root, as that script needs).
# usage: sni-startup.sh BUILD_DIR      env: RUNS=5
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${RUNS:-5}
OUT=$(mktemp -d /tmp/quorvex-sni-bench.XXXXXX)
trap 'rm -rf "$OUT"' EXIT
QUORVEX_WL_RUNS=$RUNS "$SRC/tests/e2e/wayland-e2e.sh" "$BUILD/app/quorvex" "$BUILD/tests/support/whoisd" \
  "$BUILD/tools/ostrand-build/ostrand-build" "$OUT" >"$OUT/runs.txt" 2>&1
rc=$?
[ "$rc" = 0 ] || { cat "$OUT/runs.txt"; exit "$rc"; }
times=($(sed -n 's/^run [0-9]*: \([0-9]*\) ms$/\1/p' "$OUT/runs.txt"))
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "tray program start-up to item registered (SNI, sway + waybar): median ${sorted[$((${#sorted[@]} / 2))]} ms (runs: ${times[*]} ms)"
