# SPDX-License-Identifier: MIT
# Shell helpers for a headless desktop with a tray: Xvfb, openbox and trayer (an XEmbed tray
# host), plus the small tools a test needs to act and look as a person would.
#   desk_require                 exit 77 (ctest: skipped) when a tool is missing
#   desk_up OUTDIR [DISPLAY]     start the X server (on a free display unless one is named),
#                                window manager and tray host (none with DESK_NO_TRAY=1)
#   desk_down                    stop them
#   shot NAME [WINDOW]           screenshot (root or one window) into $OUT/NAME.png
#   visible_windows PID          ids of the visible windows of a process
#   win_size WIN                 "WxH" of a window, from xwininfo
#   win_pos WIN                  "X Y" absolute position of a window, from xwininfo

DESK_PIDS=()

desk_require() {
  local t
  for t in Xvfb openbox trayer xdotool xclip xwininfo xdpyinfo xprop import convert; do
    command -v "$t" >/dev/null || ns_skip "$t not found (packages xvfb openbox trayer xdotool xclip x11-utils imagemagick)"
  done
}

desk_up() {
  OUT=$1
  local disp=${2:-}
  export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$OUT/xdg
  # With a session bus Qt may pick the StatusNotifier tray protocol, which has no X window.
  unset DBUS_SESSION_BUS_ADDRESS
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  if [ -n "$disp" ]; then
    rm -f "/tmp/.X${disp#:}-lock" "/tmp/.X11-unix/X${disp#:}" 2>/dev/null
    Xvfb "$disp" -screen 0 1024x768x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
  else
    # Xvfb picks a free display and writes its number, so several runs can share a machine.
    rm -f "$OUT/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$OUT/display" >"$OUT/xvfb.log" 2>&1 &
  fi
  DESK_PIDS+=($!)
  if [ -z "$disp" ]; then
    wait_for 10 test -s "$OUT/display" || { echo "Xvfb did not start"; cat "$OUT/xvfb.log"; return 1; }
    disp=:$(head -1 "$OUT/display")
  fi
  export DISPLAY=$disp
  wait_for 10 xdpyinfo || { echo "Xvfb did not start"; cat "$OUT/xvfb.log"; return 1; }
  # On a loaded machine openbox has been seen to give up at start; it is tried three times.
  local try wm
  : >"$OUT/openbox.log"; : >"$OUT/trayer.log"
  for try in 1 2 3; do
    openbox >>"$OUT/openbox.log" 2>&1 &
    wm=$!
    if wait_for 15 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'; then
      DESK_PIDS+=($wm); break
    fi
    kill "$wm" 2>/dev/null; wait "$wm" 2>/dev/null
    [ "$try" = 3 ] && { echo "openbox did not start"; cat "$OUT/openbox.log"; return 1; }
  done
  [ "${DESK_NO_TRAY:-}" = 1 ] && return 0
  # trayer now and then gives up when it starts while the window manager is still settling;
  # a second start has always worked.
  for try in 1 2 3; do
    trayer --edge top --align right --widthtype request --height 24 --tint 0x808080 \
      --transparent true --alpha 0 >>"$OUT/trayer.log" 2>&1 &
    local tp=$!
    if wait_for 10 xdotool search --onlyvisible --class trayer; then DESK_PIDS+=($tp); return 0; fi
    kill "$tp" 2>/dev/null; wait "$tp" 2>/dev/null
  done
  echo "trayer did not start"; return 1
}

desk_down() {
  local p
  for ((i = ${#DESK_PIDS[@]} - 1; i >= 0; i--)); do kill "${DESK_PIDS[i]}" 2>/dev/null; done
  for p in "${DESK_PIDS[@]}"; do wait "$p" 2>/dev/null; done
  DESK_PIDS=()
}

shot() {
  if [ -n "${2:-}" ]; then import -window "$2" "$OUT/$1.png"; else import -window root "$OUT/$1.png"; fi
}

visible_windows() { xdotool search --all --onlyvisible --pid "$1" '' 2>/dev/null; }

win_size() { xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }

win_pos() { xwininfo -id "$1" | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 } END { print x, y }'; }
