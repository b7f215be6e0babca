#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# quorvex-query as a QtCore program: it links no GUI library, needs no display or platform
# plugin (one that does not exist is named in the environment), and cleans the whole of a
# long argument, as the window cleans the whole clipboard text. No network needed: the
# cleaned address is one the resolver refuses without asking anyone.
# usage: query-command.sh QUORVEX_QUERY
set -u
QQ=$(realpath "${1:?quorvex-query}")
WORK=$(mktemp -d /tmp/quorvex-qcmd.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
FAIL=0
fail() { echo "FAIL: $*"; FAIL=1; }

gui=$(ldd "$QQ" | grep -E 'libQt6(Gui|Widgets|OpenGL|XcbQpa|WaylandClient)|libGL|libEGL|libOpenGL|libX11|libxcb|libxkb|libwayland' )
[ -z "$gui" ] || fail "links GUI libraries: $gui"

export QT_QPA_PLATFORM=bogus-platform
unset DISPLAY WAYLAND_DISPLAY
"$QQ" --version >"$WORK/out" 2>"$WORK/err" || fail "--version: status $?"
grep -qE '^quorvex-query [0-9]' "$WORK/out" || fail "--version printed: $(cat "$WORK/out")"

long=$(head -c 40000 /dev/zero | tr '\0' a)@1.2.3.4.5
"$QQ" "$long" >"$WORK/out" 2>"$WORK/err"
rc=$?
[ "$rc" = 1 ] || fail "long argument: status $rc, expected 1"
printf 'Resolving 1.2.3.4.5..\nNo such host\n\n' | cmp -s - "$WORK/out" || { fail "long argument: output"; head -c 300 "$WORK/out"; }
[ ! -s "$WORK/err" ] || { fail "stderr is not empty:"; head -c 300 "$WORK/err"; }

[ "$FAIL" = 0 ] && echo "PASS: no GUI library, no platform plugin, the whole argument cleaned"
exit "$FAIL"
