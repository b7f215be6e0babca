#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tray program on GNOME Shell 43 with the AppIndicator extension, headless (a virtual
# monitor, no GPU), in unsafe mode so that the test may ask the shell through
# org.gnome.Shell.Eval. The extension is the StatusNotifierWatcher and draws the item in the
# top bar; the test drives that indicator with pointer and key events of a virtual input
# device, as a user's clicks and keys would arrive, so that the extension's own click path
# (ProvideXdgActivationToken, then Activate) and its menu drawn from our dbusmenu export are
# what the program answers. What has the keyboard is asked of the shell
# (global.display.focus_window); the clipboard is set by wl-copy.
# usage: gnome-e2e.sh QUORVEX OUTDIR
# Exit 0 all checks passed, 1 a check failed, 77 this machine can't run it (says why).
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
APP=$(realpath "${1:?quorvex}"); OUT=$(realpath -m "${2:?outdir}")
UUID=ubuntu-appindicators@ubuntu.com
[ -x "$APP" ] || ns_skip "$APP not built"
command -v gnome-shell >/dev/null || ns_skip "gnome-shell not found (package gnome-shell; make deps installs it)"
[ -d "/usr/share/gnome-shell/extensions/$UUID" ] \
  || ns_skip "the AppIndicator extension is missing (package gnome-shell-extension-appindicator)"
for t in dbus-run-session dbus-daemon dbus-monitor gdbus busctl wl-copy wl-paste; do
  command -v "$t" >/dev/null || ns_skip "$t not found (packages dbus-daemon libglib2.0-bin systemd wl-clipboard)"
done
ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 \
  || ns_skip "Qt's Wayland platform plugin is missing (package qt6-wayland)"
ns_require_root
ns_enter "$0" "$@"
# A PID namespace of its own: the shell starts helpers (the accessibility bus, dconf) that
# would otherwise outlive the test.
if [ "${QUORVEX_IN_PIDNS:-}" != 1 ]; then
  export QUORVEX_IN_PIDNS=1
  exec unshare --pid --fork --kill-child --mount-proc bash "$0" "$@"
fi
WORK=${WORK:-$(mktemp -d /tmp/quorvex-gnome.XXXXXX)}
if [ "${QUORVEX_IN_BUS:-}" != 1 ]; then
  export QUORVEX_IN_BUS=1 WORK
  # Set before the bus starts: the services it activates take its environment.
  export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/xdg XDG_CONFIG_HOME=$WORK/home/.config \
    XDG_CACHE_HOME=$WORK/home/.cache XDG_DATA_HOME=$WORK/home/.local/share GSETTINGS_BACKEND=memory \
    NO_AT_BRIDGE=1 GTK_A11Y=none
  mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$OUT" && chmod 700 "$XDG_RUNTIME_DIR"
  # The bus logs every service it fails to start (the shell asks for many): into a file; the
  # script takes its own standard error back from fd 3.
  exec 3>&2
  exec env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY dbus-run-session -- bash "$0" "$@" 2>"$OUT/session-bus.log"
fi
exec 2>&3 3>&-
# The suppressions stay unlisted: standard error is checked for the program's own lines.
export LSAN_OPTIONS="suppressions=$HERE/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

rm -f "$OUT"/app.log "$OUT"/item-calls.* "$OUT"/*.png
. "$HERE/checks.sh"
SYSBUS=; SHELL_PID=; APID=; MON=
cleanup() { stop "$MON" "$APID"; stop "$SHELL_PID"; stop "$SYSBUS"; rm -rf "$WORK"; }
trap cleanup EXIT
ip link set lo up

# --- the desktop ---------------------------------------------------------------------------
# The shell asks logind on the system bus when /run/systemd/seats exists and gives up when
# there is no system bus at all; an empty bus of the test's own lets it start.
dbus-daemon --session --address="unix:path=$WORK/system_bus" --nofork >/dev/null 2>&1 & SYSBUS=$!
wait_for 5 test -S "$WORK/system_bus" || { echo "SKIP: no private system bus"; exit 77; }
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$WORK/system_bus
T0=$(date +%s%N)
gnome-shell --headless --wayland --no-x11 --virtual-monitor 1024x768 --unsafe-mode \
  --wayland-display wl-gnome >"$OUT/gnome-shell.log" 2>&1 & SHELL_PID=$!

# shell JS: what the shell's Eval makes of JS, a string without its JSON quotes; fails when
# the shell throws.
shell() {
  local r
  r=$(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval "$1" 2>/dev/null) || return 1
  case $r in "(true, '"*) r=${r#"(true, '"}; r=${r%"')"}; r=${r#\"}; printf '%s\n' "${r%\"}" ;; *) return 1 ;; esac
}
shell_up() { [ "$(shell 'Main.layoutManager._startingUp')" = false ]; }
shell_settled() { shell_up || ! kill -0 "$SHELL_PID" 2>/dev/null; }
wait_for 30 shell_settled
if ! shell_up; then
  echo "SKIP: gnome-shell could not start here:"; grep -v -e '^dbus-daemon' "$OUT/gnome-shell.log" | tail -8; exit 77
fi
[ "$(shell 'String(global.context.unsafe_mode)')" = true ] || { echo "SKIP: the shell is not in unsafe mode"; exit 77; }
export WAYLAND_DISPLAY=wl-gnome
gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
  --method org.gnome.Shell.Extensions.EnableExtension "$UUID" >/dev/null
WATCHER=(org.kde.StatusNotifierWatcher /StatusNotifierWatcher org.kde.StatusNotifierWatcher)
host_up() { busctl --user get-property "${WATCHER[@]}" IsStatusNotifierHostRegistered 2>/dev/null | grep -q true; }
if ! wait_for 10 host_up; then
  bad "the AppIndicator extension provides no StatusNotifierWatcher with a host"
  shell "String(Main.extensionManager.lookup('$UUID')?.state)"; exit 1
fi
echo "GNOME Shell $(gnome-shell --version | awk '{ print $3 }') and the extension up after $(( ($(date +%s%N) - T0) / 1000000 )) ms"
# The overview the shell opens at start would keep windows from the keyboard. A virtual
# pointer and keyboard: headless, the seat has none, and a seat without a keyboard gives no
# client the keyboard focus (nor wl-copy the clipboard).
shell "const {Clutter} = imports.gi; Main.overview.hide();
  const seat = Clutter.get_default_backend().get_default_seat();
  globalThis.qvPointer = seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
  globalThis.qvKeyboard = seat.create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
  'ok'" >/dev/null || { bad "no virtual input devices"; exit 1; }
overview_hidden() { [ "$(shell 'String(Main.overview.visible)')" = false ]; }
wait_for 5 overview_hidden

# click X Y [COUNT]: COUNT presses of the primary button at X,Y, 50 ms apart (a double click).
click() {
  shell "const {Clutter, GLib} = imports.gi; const p = globalThis.qvPointer; let t = GLib.get_monotonic_time();
    p.notify_absolute_motion(t, $1, $2);
    for (let i = 0; i < ${3:-1}; ++i, t += 50000) {
      p.notify_button(t + 1000, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.PRESSED);
      p.notify_button(t + 2000, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.RELEASED);
    }
    'ok'" >/dev/null
}
# key NAME...: the keys (Clutter.KEY_NAME) pressed together, then released.
key() {
  local k=() n
  for n in "$@"; do k+=("Clutter.KEY_$n"); done
  shell "const {Clutter, GLib} = imports.gi; const d = globalThis.qvKeyboard; const k = [$(IFS=,; echo "${k[*]}")];
    const t = GLib.get_monotonic_time();
    k.forEach((v, i) => d.notify_keyval(t + i * 1000, v, Clutter.KeyState.PRESSED));
    k.reverse().forEach((v, i) => d.notify_keyval(t + 10000 + i * 1000, v, Clutter.KeyState.RELEASED));
    'ok'" >/dev/null
  sleep 0.2
}
# The extension's indicator of the program's item, and how many items it draws.
INDICATOR='Main.panel.statusArea[Object.keys(Main.panel.statusArea).find(k => k.includes("StatusNotifierItem-'
indicator() { printf '%s' "$INDICATOR$APID-\"))]"; }
has_indicator() { [ "$(shell "String(!!$(indicator)?.mapped)")" = true ]; }
no_indicator() { [ "$(shell "String(!!$(indicator))")" = false ]; }
indicators() { shell 'String(Object.keys(Main.panel.statusArea).filter(k => k.startsWith("appindicator-")).length)'; }
items() { busctl --user get-property "${WATCHER[@]}" RegisteredStatusNotifierItems 2>/dev/null | grep -o '"[^"]*"' | tr -d '"'; }
# "X Y", the middle of the indicator, or of its menu's item labelled $1.
indicator_at() {
  shell "let a = $(indicator); ${1:+a = a.menu._getMenuItems().find(i => i.label?.text == '$1');}
    const [x, y] = a.get_transformed_position(); const [w, h] = a.get_transformed_size();
    Math.round(x + w / 2) + ' ' + Math.round(y + h / 2)"
}
menu_open() { [ "$(shell "String($(indicator).menu.isOpen)")" = true ]; }
menu_closed() { [ "$(shell "String($(indicator).menu.isOpen)")" = false ]; }
# The window with the keyboard, "title|pid"; the program's windows, "title|minimized" each.
focused() { shell 'const w = global.display.focus_window; w ? w.title + "|" + w.get_pid() : "none"'; }
program_focused() { [ "$(focused)" = "Quorvex|$APID" ]; }
other_focused() { ! program_focused; }
windows() { shell "global.get_window_actors().map(a => a.meta_window).filter(w => w.get_pid() == $APID).map(w => w.title + '|' + w.minimized).join(' ')"; }
no_window() { [ -z "$(windows)" ]; }
minimize() { shell "global.display.focus_window.minimize(); 'ok'" >/dev/null && wait_for 5 other_focused; }
windows_are() { [ "$(windows)" = "$1" ]; }
# Whether the focused widget copies TEXT (Ctrl+C, then the clipboard). The clipboard is not
# cleared first: the program may not have read it yet, and a copy of nothing leaves it as it is.
copies() {
  key Control_L c
  [ "$(wl-paste --no-newline 2>/dev/null | tr -d '\r')" = "$1" ]
}
# The calls the extension makes on the program's item, in order, one "Member argument" a line.
item_calls() {
  awk '/^method call .*interface=org.kde.StatusNotifierItem; member=/ {
         if (m) print m; m = $0; sub(/.*member=/, "", m); next }
       m && /^ *string / { s = $0; sub(/^ *string /, "", s); m = m " " s }
       END { if (m) print m }' "$OUT/item-calls.log"
}

cd "$WORK" || exit 1
: >Ostrand.dat; : >Ostrand6.dat  # range files found: no notice of their absence on stderr
start_app() {
  QT_QPA_PLATFORM=wayland "$APP" >>"$OUT/app.log" 2>&1 & APID=$!
  wait_for 20 has_indicator
}

# --- 1. the item: listed by the extension's watcher, drawn in the top bar, once ------------
URL='https://gnome.quorvex.test/some/page?x=1'
printf '%s' "$URL" | wl-copy
start_app || { bad "the extension draws no indicator for the program"; tail "$OUT/app.log"; exit 1; }
ok "the extension draws the program's indicator in the top bar"
check "its watcher lists the program's item" sh -c "busctl --user get-property ${WATCHER[*]} RegisteredStatusNotifierItems | grep -q 'StatusNotifierItem-$APID-'"
sleep 0.5
check "no window of the program shows at start" no_window
QT_QPA_PLATFORM=wayland "$APP" >>"$OUT/app.log" 2>&1 & SECOND=$!
hands_over "a second start" "$SECOND"
one_item() { [ "$(indicators)" = 1 ] && [ "$(items | wc -l)" = 1 ]; }
check "one indicator only after it, and one item" one_item
has_window() { ! no_window; }
check "the running program opens its query window for it" wait_for 5 has_window
wait_for 5 program_focused && key Escape
check "Escape closes it (the test goes on from no window)" wait_for 5 no_window

# --- 2. the extension's click path: a double click, a token, Activate ---------------------
dbus-monitor --session "type='method_call',interface='org.kde.StatusNotifierItem'" >"$OUT/item-calls.log" 2>&1 & MON=$!
sleep 0.3
# The extension reads the whole layout when it draws the item; a click before that, or on an
# indicator that never got it, is a click on an item without a menu (an Activate).
menu_entries() { [ "$(shell "String($(indicator).menu._getMenuItems().length)")" = 4 ]; }
check "the extension holds the item's menu of four entries" wait_for 5 menu_entries
read -r IX IY < <(indicator_at)
click "$IX" "$IY"
check "one click opens the extension's menu (its rule for an item with a menu)" wait_for 3 menu_open
key Escape
wait_for 3 menu_closed
check "and the query window stays closed" no_window
check "and nothing is called on the item" [ -z "$(item_calls)" ]
click "$IX" "$IY" 2
check "a double click opens the query window with the keyboard" wait_for 5 program_focused
stop "$MON"; MON=
sleep 0.3; item_calls >"$OUT/item-calls.txt"
# The extension of GNOME Shell 43 answers one double click with the pair of calls twice, the
# second pair's token before the first Activate (token, token, Activate, Activate): a token
# must come first, and one for each Activate.
token_then_activate() {
  awk '/^ProvideXdgActivationToken "[^"]+"$/ { t++; next }
       $0 == "Activate" && t > a { a++; next }
       { bad = 1 }
       END { exit !(a > 0 && a == t && !bad) }' "$OUT/item-calls.txt"
}
check "a token came before each Activate of the double click" token_then_activate
echo "NOTE: the double click made $(grep -c '^Activate' "$OUT/item-calls.txt") Activate call(s)"
check "the address box holds the clipboard's cleaned address" wait_for 5 copies gnome.quorvex.test

# --- 3. minimised, the window comes back with the keyboard at the next double click --------
minimize
check "the query window is minimised" windows_are 'Quorvex|true'
click "$IX" "$IY" 2
check "a double click brings the minimised window back with the keyboard" wait_for 5 program_focused
check "unminimised" wait_for 3 windows_are 'Quorvex|false'

# --- 4. a later start launched by the shell (its launch token) brings the window back ------
minimize
TOKEN=$(shell "const Gio = imports.gi.Gio;
  global.create_app_launch_context(global.display.get_current_time_roundtrip(), -1).get_startup_notify_id(
    Gio.AppInfo.create_from_commandline('quorvex', 'Quorvex', Gio.AppInfoCreateFlags.SUPPORTS_STARTUP_NOTIFICATION), [])")
XDG_ACTIVATION_TOKEN=$TOKEN QT_QPA_PLATFORM=wayland "$APP" >>"$OUT/app.log" 2>&1 & SECOND=$!
hands_over "a later start with the shell's launch token" "$SECOND"
check "and the first's window has the keyboard again" wait_for 5 program_focused
gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell/Screenshot \
  --method org.gnome.Shell.Screenshot.Screenshot false false "$OUT/gnome-shell.png" >/dev/null 2>&1
key Escape
wait_for 5 no_window

# --- 5. the menu the extension draws from the dbusmenu export; Exit from it ----------------
click "$IX" "$IY"
wait_for 3 menu_open
LABELS=$(shell "$(indicator).menu._getMenuItems().map(i => i.constructor.name.includes('Separator') ? '-' : i.label?.text).join('|')")
check "the extension's menu reads About, Query WHOIS, a separator, Exit ($LABELS)" [ "$LABELS" = 'About|Query WHOIS|-|Exit' ]
if XY=$(indicator_at Exit) && [ -n "$XY" ]; then
  read -r EX EY <<<"$XY"
  click "$EX" "$EY"
  if wait_for 10 sh -c "! kill -0 $APID 2>/dev/null"; then
    wait "$APID"; rc=$?
    check "Exit from the extension's menu ends the program with status 0 (rc=$rc)" [ "$rc" = 0 ]
    check "its indicator is gone from the top bar" wait_for 5 no_indicator
    APID=
  else
    bad "Exit from the extension's menu did not end the program"
  fi
else
  bad "the extension's menu has no Exit"
fi

wl-copy --clear >/dev/null 2>&1
check "the program wrote nothing on standard output or error" only_lines "$OUT/app.log"
echo "$PASSN passed, $FAIL failed"
if [ "$FAIL" != 0 ]; then
  # What the next run would overwrite: the shell's own complaints and the calls on the item.
  echo "--- the shell's errors and warnings:"; grep -E 'JS ERROR|WARNING|CRITICAL' "$OUT/gnome-shell.log" | head -20
  echo "--- the calls on the item:"; item_calls | head -20
  echo "--- the program:"; tail -20 "$OUT/app.log"
fi
[ "$FAIL" = 0 ]
