#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Focus on a Wayland desktop that prevents focus stealing: KWin headless (kwin_wayland
# --virtual) with a StatusNotifierWatcher of the test's own (sniwatcher) and a "panel"
# (focusclient) that has the keyboard, owns the clipboard and hands out XDG activation tokens
# as Plasma's panel does before it calls Activate. The window that Activate opens with a token
# takes the keyboard from the panel and reads the clipboard; a window already open is brought
# back with a token, untouched; a later start launched with a token brings the first's window
# forward; without a token KWin leaves the keyboard where it is. What has the keyboard is asked
# of KWin itself (a script printing its active window).
# usage: focus-e2e.sh QUORVEX SNIWATCHER FOCUSCLIENT OUTDIR
# Exit 0 all checks passed, 1 a check failed, 77 this machine can't run it (says why).
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
APP=$(realpath "${1:?quorvex}"); WATCHER=$(realpath -m "${2:?sniwatcher}")
CLIENT=$(realpath -m "${3:?focusclient}"); OUT=$(realpath -m "${4:?outdir}")
[ -x "$APP" ] || ns_skip "$APP not built"
[ -x "$CLIENT" ] || ns_skip "focusclient not built (packages libwayland-dev wayland-protocols, then configure again)"
command -v kwin_wayland >/dev/null || ns_skip "kwin_wayland not found (package kwin-wayland; make e2e-focus installs it)"
for t in dbus-run-session busctl; do command -v "$t" >/dev/null || ns_skip "$t not found"; done
ns_require_root
ns_enter "$0" "$@"
if [ "${QUORVEX_IN_BUS:-}" != 1 ]; then
  export QUORVEX_IN_BUS=1
  exec env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY dbus-run-session -- bash "$0" "$@"
fi
# The suppressions stay unlisted: standard error is checked for the program's own lines.
export LSAN_OPTIONS="suppressions=$HERE/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

mkdir -p "$OUT"; rm -f "$OUT"/*.log
WORK=$(mktemp -d /tmp/quorvex-focus.XXXXXX)
. "$HERE/checks.sh"
KWIN=; WPID=; APID=
cleanup() { stop "$APID" "$WPID"; [ -n "${PANEL_PID:-}" ] && stop "$PANEL_PID"; stop "$KWIN"; rm -rf "$WORK"; }
trap cleanup EXIT
ip link set lo up
export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/xdg XDG_CONFIG_HOME=$WORK/home/.config
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" && chmod 700 "$XDG_RUNTIME_DIR"
# KWin's strictest focus stealing prevention (Extreme; Plasma's default is Low): an activation
# without a valid token never takes the keyboard from another application's window.
printf '[Windows]\nFocusStealingPreventionLevel=4\n' >"$XDG_CONFIG_HOME/kwinrc"

# --- the desktop ---------------------------------------------------------------------------
# The packaged binary carries a file capability (CAP_SYS_RESOURCE) that a container's bounding
# set may lack, which makes exec fail; a copy without it runs the same.
cp /usr/bin/kwin_wayland "$WORK/kwin_wayland"
QT_LOGGING_RULES="kwin_scripting.debug=true" "$WORK/kwin_wayland" --virtual --no-lockscreen \
  --no-global-shortcuts --no-kactivities --socket wl-focus >"$OUT/kwin.log" 2>&1 & KWIN=$!
if ! wait_for 20 test -S "$XDG_RUNTIME_DIR/wl-focus"; then
  echo "SKIP: kwin_wayland could not start here:"; tail -5 "$OUT/kwin.log"; exit 77
fi
export WAYLAND_DISPLAY=wl-focus
wait_for 10 busctl --user status org.kde.KWin || { echo "SKIP: KWin is not on the bus"; exit 77; }
"$WATCHER" >"$OUT/watcher.log" 2>&1 & WPID=$!
wait_for 10 busctl --user status org.kde.StatusNotifierWatcher || { bad "the watcher did not start"; exit 1; }

URL='https://focus.quorvex.test/some/page'
coproc PANEL { exec "$CLIENT" "$URL" 2>"$OUT/panel.err"; }
: >"$OUT/panel.log"
# Reads the panel's reports into panel.log; "token" asks it for a token (TOKEN).
pump() { local line; while read -r -t 0.05 line <&"${PANEL[0]}"; do echo "$line" >>"$OUT/panel.log"; done; }
said() { pump; grep -c "^$1" "$OUT/panel.log"; }
token() {
  echo token >&"${PANEL[1]}"
  local line
  while read -r -t 5 line <&"${PANEL[0]}"; do
    echo "$line" >>"$OUT/panel.log"
    [ "${line%% *}" = token ] && { TOKEN=${line#token }; return 0; }
  done
  return 1
}
panel_has_keyboard() { pump; [ "$(grep '^focus' "$OUT/panel.log" | tail -1)" = "focus in" ]; }
panel_lost_keyboard() { pump; [ "$(grep '^focus' "$OUT/panel.log" | tail -1)" = "focus out" ]; }
# Whether the clipboard was read since $pastes reads.
pasted_again() { [ "$(said paste)" -gt "$pastes" ]; }
wait_for 10 panel_has_keyboard || { bad "the panel never got the keyboard"; exit 1; }
ok "the panel has the keyboard and owns the clipboard"

# KWin's active window, "caption|pid", by a script of its own (its print goes to KWin's log).
kwin_script() {
  local id=$1; printf '%s\n' "$2" >"$WORK/$id.js"
  busctl --user call org.kde.KWin /Scripting org.kde.kwin.Scripting loadScript ss "$WORK/$id.js" "$id" >/dev/null &&
    busctl --user call org.kde.KWin /Scripting org.kde.kwin.Scripting start >/dev/null
  busctl --user call org.kde.KWin /Scripting org.kde.kwin.Scripting unloadScript s "$id" >/dev/null
}
active() {
  local id=a$(date +%s%N)
  kwin_script "$id" "var c = workspace.activeClient; print('$id ' + (c ? c.caption + '|' + c.pid : 'none'));"
  wait_for 2 grep -q "js: $id " "$OUT/kwin.log"
  grep "js: $id " "$OUT/kwin.log" | sed "s/.*js: $id //"
}
# Gives the keyboard back to the panel, as a user clicking into another window would.
panel_first() {
  kwin_script p$(date +%s%N) "var l = workspace.clientList(); for (var i = 0; i < l.length; ++i) if (l[i].caption == 'focus-host') workspace.activeClient = l[i];"
  wait_for 5 panel_has_keyboard
}
program_active() { [ "$(active)" = "Quorvex|$APID" ]; }
panel_active() { [ "$(active | cut -d'|' -f1)" = focus-host ]; }

cd "$WORK" || exit 1
: >Ostrand.dat; : >Ostrand6.dat  # range files found: no notice of their absence on stderr
start_app() {
  QT_QPA_PLATFORM=wayland "$APP" >>"$OUT/app.log" 2>&1 & APID=$!
  wait_for 20 grep -q "registered org.kde.StatusNotifierItem-$APID-" "$OUT/watcher.log"
}
ITEM=(/StatusNotifierItem org.kde.StatusNotifierItem)
item() { busctl --user call "org.kde.StatusNotifierItem-$APID-1" "${ITEM[@]}" "$@"; }

# --- 1. no token: KWin 5.27 gives a window it maps the keyboard all the same ---------------
start_app || { bad "the program registered no item"; tail "$OUT/app.log"; exit 1; }
ok "the program's item is registered"
check "the panel keeps the keyboard while the program starts" panel_active
item Activate ii 0 0
sleep 2
if panel_active; then echo "NOTE: without a token the window Activate opened stayed behind the panel"
else echo "NOTE: without a token KWin still gave the window it mapped the keyboard (it holds back activations, not new windows)"; fi
stop "$APID"; APID=
wait_for 5 panel_has_keyboard

# --- 2. with the panel's token: the window takes the keyboard and reads the clipboard -------
start_app || { bad "the program registered no item again"; exit 1; }
pastes=$(said paste)
token || { bad "the panel got no activation token"; exit 1; }
item ProvideXdgActivationToken s "$TOKEN"
item Activate ii 0 0
check "with a token the window Activate opens has the keyboard" wait_for 5 program_active
check "the panel lost the keyboard to it" wait_for 5 panel_lost_keyboard
check "the program read the clipboard, which it does once its window has the keyboard" wait_for 5 pasted_again
# What the box then holds is the clipboard's text cleaned, as the other tests check; KWin
# offers no way to read it back here (no primary selection for wl-paste, no virtual keyboard).

# --- 3. open, behind the panel: without a token it stays behind, with one it comes back -----
panel_first || bad "the panel did not get the keyboard back"
pastes=$(said paste)
item Activate ii 0 0
sleep 1.5
check "without a token the open window stays behind" panel_active
token && item ProvideXdgActivationToken s "$TOKEN" && item Activate ii 0 0
check "with a token the open window has the keyboard again" wait_for 5 program_active
sleep 0.5
check "its address was not read again" [ "$(said paste)" = "$pastes" ]

# --- 4. a later start launched with a token: it ends, the first's window comes forward ------
panel_first || bad "the panel did not get the keyboard back"
token
XDG_ACTIVATION_TOKEN=$TOKEN QT_QPA_PLATFORM=wayland "$APP" >>"$OUT/app.log" 2>&1 & SECOND=$!
hands_over "a later start with a token" "$SECOND"
check "and the first's window has the keyboard" wait_for 5 program_active

check "the program wrote nothing on standard output or error" only_lines "$OUT/app.log"
echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
