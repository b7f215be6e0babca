#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tray program end to end on Wayland with a StatusNotifierItem host: sway (headless output,
# pixman renderer) and waybar's tray, driven over D-Bus as the host drives it ("Activate", the
# exported menu's items through com.canonical.dbusmenu), with wtype, wl-copy / wl-paste and
# grim. sway refuses to run as root, so the desktop runs as an unprivileged user (created when
# missing) in a private D-Bus session, inside the same private mount and network namespace
# as tray-e2e.sh, and in a PID namespace of its own, so that nothing it starts outlives it.
# usage: wayland-e2e.sh QUORVEX WHOISD RANGE_FILE_OR_OSTRAND_BUILD OUTDIR
#   env QUORVEX_E2E_USER (default quorvex-e2e); QUORVEX_WL_RUNS=N only measures the start-up
#   to the item's registration with the watcher, N times.
# Exit 0 all checks passed, 1 a check failed, 77 this machine can't run it (says why).
# Pictures (the icon in waybar, the query window with a reply, About) are left in OUTDIR.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
APP=$(realpath "${1:?quorvex}"); WHOISD=$(realpath "${2:?whoisd}"); RANGE=$(realpath "${3:?range}")
OUT=$(realpath -m "${4:?outdir}")
WL_USER=${QUORVEX_E2E_USER:-quorvex-e2e}
[ -x "$APP" ] || ns_skip "$APP not built"
ns_require_root
for t in sway swaymsg waybar grim wl-copy wl-paste wtype dbus-run-session busctl runuser python3 convert; do
  command -v "$t" >/dev/null || ns_skip "$t not found (packages sway waybar grim wl-clipboard wtype dbus-daemon systemd python3 imagemagick)"
done
ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 \
  || ns_skip "Qt's Wayland platform plugin is missing (package qt6-wayland)"
if ! id -u "$WL_USER" >/dev/null 2>&1; then
  useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$WL_USER" \
    || ns_skip "no user $WL_USER to run sway as, and useradd failed"
fi
ns_enter "$0" "$@"
export LSAN_OPTIONS="suppressions=$HERE/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

mkdir -p "$OUT"; rm -f "$OUT"/*.png
WORK=$(mktemp -d /tmp/quorvex-wl-ns.XXXXXX)
# The user's own folder: the build tree and the output folder may not be readable to it.
UDIR=$(mktemp -d /tmp/quorvex-wl.XXXXXX)
cleanup() { ns_cleanup "$WORK"; rm -rf "$UDIR"; }
trap cleanup EXIT
ns_up "$WORK" "$WHOISD" || exit 1
chmod 755 "$WORK"  # the user reads the servers' query log
mkdir -p "$UDIR/work" "$UDIR/out"
cp "$APP" "$UDIR/quorvex"
cp "$HERE/wayland-session.sh" "$HERE/checks.sh" "$HERE/lsan.supp" "$UDIR/"
if [ -x "$RANGE" ]; then "$RANGE" /usr/share/tor/geoip "$UDIR/work/Ostrand.dat" >/dev/null 2>&1
else cp "$RANGE" "$UDIR/work/Ostrand.dat"; fi
[ -s "$UDIR/work/Ostrand.dat" ] || ns_skip "no range file ($RANGE)"
chown -R "$WL_USER:" "$UDIR"

unshare --pid --fork --kill-child --mount-proc \
  runuser -u "$WL_USER" -- env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY \
    LSAN_OPTIONS="suppressions=$UDIR/lsan.supp" ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" \
    dbus-run-session -- bash "$UDIR/wayland-session.sh" "$UDIR" "$NS_TEST_HOST" "$NS_QUERY_LOG" ${QUORVEX_WL_RUNS:-}
rc=$?
cp "$UDIR"/out/*.png "$UDIR"/out/*.log "$UDIR"/out/*.txt "$UDIR"/out/*.json "$OUT/" 2>/dev/null
[ -n "${QUORVEX_WL_RUNS:-}" ] || echo "logs and pictures in $OUT"
exit "$rc"
