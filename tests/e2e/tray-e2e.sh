#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tray program end to end, used as a person would: Xvfb with openbox and trayer, inside a
# private mount and network namespace whose hosts file sends the registries' WHOIS server
# names to whoisd on 127.0.0.2..5:43. Clicks and keys by xdotool, the clipboard and the pane's
# text by xclip, screenshots by ImageMagick. The program is unmodified and observed only from
# outside (X window tree, clipboard, pictures, the servers' query log).
# usage: tray-e2e.sh QUORVEX WHOISD RANGE_FILE_OR_OSTRAND_BUILD OUTDIR [TIPSIZE]
# Exit 0 all checks passed, 1 a check failed, 77 this machine can't run it (says why).
# Screenshots (tray, tool tip, query window with a reply, menu, About) are left in OUTDIR;
# docs/*.png are copies of them.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
. "$HERE/desktop.sh"
APP=$(realpath "${1:?quorvex}"); WHOISD=$(realpath "${2:?whoisd}"); RANGE=$(realpath "${3:?range}")
OUT=$(realpath -m "${4:?outdir}"); TIPSIZE=${5:+$(realpath "$5")}
[ -x "$APP" ] || ns_skip "$APP not built"
ns_require_root
desk_require
ns_enter "$0" "$@"
# For sanitizer builds: leaks inside system libraries are not ours to report.
export LSAN_OPTIONS="suppressions=$HERE/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

mkdir -p "$OUT"; rm -f "$OUT"/*.png
WORK=$(mktemp -d /tmp/quorvex-e2e.XXXXXX)
. "$HERE/checks.sh"
APID=
cleanup() {
  [ -n "$APID" ] && kill "$APID" 2>/dev/null
  desk_down; ns_cleanup "$WORK"
}
trap cleanup EXIT

ns_up "$WORK" "$WHOISD" || exit 1
desk_up "$OUT" || exit 1
# The program reads Ostrand.dat from its working directory.
if [ -x "$RANGE" ]; then "$RANGE" /usr/share/tor/geoip "$WORK/Ostrand.dat" >/dev/null 2>&1
else cp "$RANGE" "$WORK/Ostrand.dat"; fi
[ -s "$WORK/Ostrand.dat" ] || ns_skip "no range file ($RANGE)"

# The pane's text, read back as a person would: click into it, select all, copy.
read_pane() {
  local dlg=$1
  xdotool mousemove --window "$dlg" 200 150 click 1
  sleep 0.2
  printf '' | xclip -selection clipboard -i >/dev/null 2>&1
  xdotool key ctrl+a ctrl+c
  wait_for 5 sh -c '[ -n "$(xclip -selection clipboard -o 2>/dev/null)" ]'
  xclip -selection clipboard -o 2>/dev/null | tr -d '\r'
}
query_window() { xdotool search --all --onlyvisible --pid "$APID" --name '^Quorvex$' 2>/dev/null | head -1; }
# The pop-up menu: a visible override-redirect window of the program that is neither the
# icon, nor the query window, nor the About picture.
menu_window() {
  local w
  for w in $(visible_windows "$APID"); do
    [ "$w" = "$ICON" ] && continue
    [ "$(win_size "$w")" = 249x125 ] && continue
    xprop -id "$w" WM_NAME 2>/dev/null | grep -q '"Quorvex"' && continue
    xwininfo -id "$w" | grep -q 'Override Redirect State: yes' && { echo "$w"; return 0; }
  done
  return 1
}
click_icon() { xdotool mousemove --window "$ICON" 11 11 click "$@"; }
crop_tray() { convert "$OUT/$1.png" -crop "$2" +repage "$OUT/$1.png"; }

# 1. Start: only the icon, docked in the tray, no window of the program visible.
cd "$WORK" || exit 1
"$APP" >"$OUT/app.log" 2>&1 &
APID=$!
T0=$(date +%s%N)
wait_for 15 sh -c "xdotool search --all --onlyvisible --pid $APID '' | grep -q ." || { bad "no icon window appeared"; exit 1; }
ICON=$(visible_windows "$APID" | head -1)
echo "icon shown after $(( ($(date +%s%N) - T0) / 1000000 )) ms: window $ICON $(win_size "$ICON")"
sleep 0.5
check "after start exactly one visible window, the tray icon" [ "$(visible_windows "$APID" | wc -l)" = 1 ]
size=$(win_size "$ICON"); w=${size%x*}; h=${size#*x}
check "the icon is tray-sized ($size)" [ "$w" -le 32 ] && [ "$h" -le 32 ]
tray=$(xdotool search --onlyvisible --class trayer | head -1)
check "the icon is docked in the tray" sh -c "xwininfo -tree -id $tray | grep -q $(printf '0x%x' "$ICON")"
read tx ty < <(win_pos "$tray"); tsz=$(win_size "$tray")
shot tray_full
convert "$OUT/tray_full.png" -crop "$(( ${tsz%x*} + 16 ))x$(( ${tsz#*x} + 8 ))+$(( tx > 16 ? tx - 16 : 0 ))+0" +repage \
  -scale 300% "$OUT/tray.png"
rm -f "$OUT/tray_full.png"

# 2. Tool tip: hover; a tool-tip window of the program appears, its picture is kept.
xdotool mousemove 500 500; sleep 0.2
xdotool mousemove --window "$ICON" 10 10; sleep 0.1; xdotool mousemove --window "$ICON" 11 11
if wait_for 5 sh -c "[ \$(xdotool search --all --onlyvisible --pid $APID '' | wc -l) -ge 2 ]"; then
  TIP=$(visible_windows "$APID" | grep -v "^$ICON\$" | head -1)
  sleep 0.3; shot tooltip "$TIP"
  ok "hovering the icon shows a tool tip ($(win_size "$TIP"))"
  # The tip's text can be seen, not read: its window must have the size Qt gives a tool tip
  # of "Quorvex" on this display, and not that of the designed "Quorvex 2.0".
  if [ -n "$TIPSIZE" ]; then
    want=$("$TIPSIZE" Quorvex); old=$("$TIPSIZE" 'Quorvex 2.0')
    check "the tool tip is \"Quorvex\" (window $(win_size "$TIP"), a tip of Quorvex is $want, of Quorvex 2.0 $old)" \
      [ "$(win_size "$TIP")" = "$want" ] && [ "$want" != "$old" ]
  fi
else
  bad "no tool tip on hover"
fi
xdotool mousemove 500 500; sleep 0.5

# 3. Left click with a URL on the clipboard: the window opens with the cleaned address, all
#    of it selected (copying the selection gives exactly the cleaned address).
printf 'http://%s/some/page.html?x=1' "$NS_TEST_HOST" | xclip -selection clipboard -i >/dev/null 2>&1
click_icon 1
wait_for 5 sh -c "xdotool search --all --onlyvisible --pid $APID --name '^Quorvex\$' | grep -q ." || bad "query window did not open"
DLG=$(query_window)
if [ -n "$DLG" ]; then
  sleep 0.3
  check "the query window has the keyboard focus" [ "$(xdotool getwindowfocus)" = "$DLG" ]
  printf '' | xclip -selection clipboard -i >/dev/null 2>&1
  xdotool key ctrl+c
  wait_for 3 sh -c '[ -n "$(xclip -selection clipboard -o 2>/dev/null)" ]'
  check "address box holds the cleaned address, all selected" [ "$(xclip -selection clipboard -o 2>/dev/null)" = "$NS_TEST_HOST" ]

  # 4. Enter runs the query; the pane shows the header lines, the reply and "Done.".
  before=$(ns_queries)
  xdotool key Return
  wait_for 20 sh -c "[ \$(wc -l < '$NS_QUERY_LOG') -gt $before ]" || bad "no query reached a server"
  check "the query went to ARIN's server with the resolved address" \
    grep -q '^whois.arin.net 127.0.0.9$' "$NS_QUERY_LOG"
  sleep 0.5
  PANE=$(read_pane "$DLG")
  echo "$PANE" >"$OUT/pane-host.txt"
  check "pane: Resolving line" grep -qx "Resolving $NS_TEST_HOST.." "$OUT/pane-host.txt"
  check "pane: registry line" grep -qx 'Address is Global, querying ARIN..' "$OUT/pane-host.txt"
  check "pane: the server's reply" grep -qx 'descr:          answered by whois.arin.net' "$OUT/pane-host.txt"
  check "pane ends with an empty line and Done." sh -c "tail -n 2 '$OUT/pane-host.txt' | tr '\n' '|' | grep -qx '|Done.|\?'"

  # A European address: the location line, RIPE, and RIPE's server answers.
  dsz=$(win_size "$DLG"); ADDRY=$(( ${dsz#*x} - 20 ))
  xdotool mousemove --window "$DLG" 100 "$ADDRY" click 1; sleep 0.2
  xdotool key ctrl+a; xdotool type --delay 10 '193.0.6.139'; xdotool key Return
  wait_for 20 grep -q '^whois.ripe.net 193.0.6.139$' "$NS_QUERY_LOG" || bad "no query reached RIPE's server"
  sleep 0.5
  PANE=$(read_pane "$DLG")
  echo "$PANE" >"$OUT/pane-ripe.txt"
  check "pane: location line" grep -q '^193.0.6.139 is based in ' "$OUT/pane-ripe.txt"
  check "pane: European, RIPE" grep -qx 'Address is European, querying RIPE..' "$OUT/pane-ripe.txt"
  check "pane: RIPE's server answered" grep -qx 'source:         whois.ripe.net' "$OUT/pane-ripe.txt"
  check "pane: Done." sh -c "tail -n 1 '$OUT/pane-ripe.txt' | grep -qx 'Done.'"
  # A click into the pane ends the selection that reading it made, for the picture.
  xdotool mousemove --window "$DLG" 300 400 click 1; sleep 0.4
  shot query-window "$DLG"

  # The box queries what was typed; only a choice in its list recalls a stored reply.
  # A prefix of an earlier address (193.0.6.13 after 193.0.6.139) goes out as typed, at the
  # first Enter.
  W=${dsz%x*}
  xdotool mousemove --window "$DLG" 100 "$ADDRY" click 1; sleep 0.2
  before=$(ns_queries)
  xdotool key ctrl+a; xdotool type --delay 10 '193.0.6.13'; xdotool key Return
  wait_for 20 sh -c "[ \$(wc -l < '$NS_QUERY_LOG') -gt $before ]"
  check "a prefix of an earlier address is queried as typed, at the first Enter" \
    sh -c "tail -n +$((before + 1)) '$NS_QUERY_LOG' | grep -qx 'whois.ripe.net 193.0.6.13'"
  sleep 0.5
  # An earlier address typed in other letters, then a click into the pane (read_pane's):
  # the pane keeps this query's reply and is not replaced by the stored one.
  UPPER=$(printf '%s' "$NS_TEST_HOST" | tr a-z A-Z)
  xdotool mousemove --window "$DLG" 100 "$ADDRY" click 1; sleep 0.2
  xdotool key ctrl+a; xdotool type --delay 10 "$UPPER"; sleep 0.2
  read_pane "$DLG" >"$OUT/pane-focus.txt"
  check "a click into the pane keeps its reply ($UPPER in the box recalls nothing)" \
    sh -c "grep -q '^193.0.6.13 is based in ' '$OUT/pane-focus.txt' && tail -n 1 '$OUT/pane-focus.txt' | grep -qx 'Done.'"
  # "Go!" queries it with the spelling the user typed, and the box keeps that spelling.
  before=$(ns_queries)
  xdotool mousemove --window "$DLG" $((W - 25)) "$ADDRY" click 1
  wait_for 20 sh -c "[ \$(wc -l < '$NS_QUERY_LOG') -gt $before ]" || bad "\"Go!\" sent no query"
  sleep 0.5
  read_pane "$DLG" >"$OUT/pane-spelling.txt"
  check "the query of $UPPER was resolved under that spelling" grep -qx "Resolving $UPPER.." "$OUT/pane-spelling.txt"
  xdotool mousemove --window "$DLG" 100 "$ADDRY" click 1; sleep 0.2
  printf '' | xclip -selection clipboard -i >/dev/null 2>&1
  xdotool key ctrl+a ctrl+c
  wait_for 3 sh -c '[ -n "$(xclip -selection clipboard -o 2>/dev/null)" ]'
  got=$(xclip -selection clipboard -o 2>/dev/null)
  check "after \"Go!\" the box keeps the spelling typed ($got)" [ "$got" = "$UPPER" ]
  # A choice in the list still recalls: the first item, by the keyboard, shows its stored
  # reply (the reply without the header lines).
  xdotool key alt+Down; sleep 0.5; xdotool key Home Return; sleep 0.5
  read_pane "$DLG" >"$OUT/pane-recall.txt"
  check "a choice in the list recalls the stored reply" \
    sh -c "head -n 1 '$OUT/pane-recall.txt' | grep -qx '% whois.arin.net test server' && ! grep -q '^Address is ' '$OUT/pane-recall.txt'"

  # IPv6: a URL with a bracketed address pasted into the box goes out as the address alone,
  # which the box then shows; a name with only an IPv6 address is answered.
  printf 'http://[2001:db8::1]:8080/x' | xclip -selection clipboard -i >/dev/null 2>&1
  xdotool mousemove --window "$DLG" 100 "$ADDRY" click 1; sleep 0.2
  before=$(ns_queries)
  xdotool key ctrl+a ctrl+v Return
  wait_for 20 sh -c "[ \$(wc -l < '$NS_QUERY_LOG') -gt $before ]" || bad "the pasted IPv6 URL sent no query"
  check "a pasted http://[2001:db8::1]:8080/x reaches ARIN's server as 2001:db8::1" \
    sh -c "tail -n +$((before + 1)) '$NS_QUERY_LOG' | grep -qx 'whois.arin.net 2001:db8::1'"
  sleep 0.5
  read_pane "$DLG" >"$OUT/pane-ipv6.txt"
  check "pane: the IPv6 address without a Resolving line, Global, ARIN's reply for it" \
    sh -c "head -n 1 '$OUT/pane-ipv6.txt' | grep -qx 'Address is Global, querying ARIN..' && grep -qx '% query 2001:db8::1' '$OUT/pane-ipv6.txt'"
  xdotool mousemove --window "$DLG" 100 "$ADDRY" click 1; sleep 0.2
  printf '' | xclip -selection clipboard -i >/dev/null 2>&1
  xdotool key ctrl+a ctrl+c
  wait_for 3 sh -c '[ -n "$(xclip -selection clipboard -o 2>/dev/null)" ]'
  got=$(xclip -selection clipboard -o 2>/dev/null)
  check "the box shows the address queried ($got)" [ "$got" = 2001:db8::1 ]
  before=$(ns_queries)
  xdotool key ctrl+a; xdotool type --delay 10 "$NS_TEST_HOST6"; xdotool key Return
  wait_for 20 sh -c "[ \$(wc -l < '$NS_QUERY_LOG') -gt $before ]" || bad "$NS_TEST_HOST6 sent no query"
  check "a name with only an IPv6 address is queried by it ($NS_TEST_ADDR6)" \
    sh -c "tail -n +$((before + 1)) '$NS_QUERY_LOG' | grep -qx 'whois.arin.net $NS_TEST_ADDR6'"
  sleep 0.5
  read_pane "$DLG" >"$OUT/pane-host6.txt"
  check "pane: Resolving $NS_TEST_HOST6, then the reply for its IPv6 address" \
    sh -c "head -n 1 '$OUT/pane-host6.txt' | grep -qx 'Resolving $NS_TEST_HOST6..' && grep -qx '% query $NS_TEST_ADDR6' '$OUT/pane-host6.txt' && tail -n 1 '$OUT/pane-host6.txt' | grep -qx 'Done.'"

  # Escape closes the window; the program goes on with its icon.
  xdotool mousemove --window "$DLG" 100 "$ADDRY" click 1; sleep 0.2
  xdotool key Escape
  wait_for 5 sh -c "! xdotool search --all --onlyvisible --pid $APID --name '^Quorvex\$' | grep -q ." \
    && ok "Escape closes the query window" || bad "Escape did not close the query window"
fi

# 4b. Clicks act on the release: a left press alone opens no query window until the button
#     comes up, a right press alone shows no menu until it comes up.
xdotool mousemove --window "$ICON" 11 11; sleep 0.2
xdotool mousedown 1; sleep 0.8
check "a left press alone opens no query window" [ -z "$(query_window)" ]
xdotool mouseup 1
if wait_for 5 sh -c "xdotool search --all --onlyvisible --pid $APID --name '^Quorvex\$' | grep -q ."; then
  ok "the query window opens at the left release"
  REL=$(query_window); rsz=$(win_size "$REL"); sleep 0.3
  xdotool mousemove --window "$REL" 100 $(( ${rsz#*x} - 20 )) click 1; sleep 0.2; xdotool key Escape
  wait_for 5 sh -c "! xdotool search --all --onlyvisible --pid $APID --name '^Quorvex\$' | grep -q ." || bad "the query window stays open"
else
  bad "no query window after the left release"
fi
xdotool mousemove --window "$ICON" 11 11; sleep 0.2
xdotool mousedown 3; sleep 0.8
if menu_window >/dev/null; then bad "a right press alone shows the menu"; else ok "a right press alone shows no menu"; fi
xdotool mouseup 3
if wait_for 5 menu_window; then
  ok "the menu opens at the right release"
  xdotool key Escape
  for _ in $(seq 50); do menu_window >/dev/null || break; sleep 0.1; done
else
  bad "no menu after the right release"
fi

# 5. Right click: the menu at the cursor; Escape closes it.
click_icon 3
if wait_for 5 menu_window; then
  MENU=$(menu_window)
  ok "right click shows the menu ($(win_size "$MENU"))"
  sleep 0.4
  read mx my < <(win_pos "$MENU"); msz=$(win_size "$MENU")
  shot menu_full
  convert "$OUT/menu_full.png" -crop "$(( ${msz%x*} + 40 ))x$(( ${msz#*x} + 40 ))+$(( mx - 20 > 0 ? mx - 20 : 0 ))+0" +repage "$OUT/menu.png"
  rm -f "$OUT/menu_full.png"
  xdotool key Escape
  no_menu() { ! menu_window; }
  wait_for 5 no_menu && ok "Escape closes the menu" || bad "menu stays open"
else
  bad "right click shows no menu"
fi

# 6. "&About" (its mnemonic): the picture, centred, borderless, 249 x 125; a click hides it,
#    a click on the gray frame does not.
click_icon 3
wait_for 5 menu_window && xdotool key a
about() { xdotool search --all --onlyvisible --pid "$APID" '' 2>/dev/null | while read -r w; do [ "$(win_size "$w")" = 249x125 ] && echo "$w"; done | head -1; }
has_about() { [ -n "$(about)" ]; }
if wait_for 5 has_about; then
  ABOUT=$(about)
  ok "About shows a 249x125 window"
  read ax ay < <(win_pos "$ABOUT")
  check "About is centred on the screen (at $ax,$ay)" [ $((ax - (1024 - 249) / 2)) -le 1 ] && [ $((ax - (1024 - 249) / 2)) -ge -1 ] \
    && [ $((ay - (768 - 125) / 2)) -le 1 ] && [ $((ay - (768 - 125) / 2)) -ge -1 ]
  sleep 0.3; shot about "$ABOUT"
  xdotool mousemove --window "$ABOUT" 0 0 click 1; sleep 0.5
  check "a click on the frame keeps it" sh -c "xwininfo -id $ABOUT | grep -q 'IsViewable'"
  xdotool mousemove --window "$ABOUT" 124 62 click 1
  wait_for 5 sh -c "! xwininfo -id $ABOUT | grep -q 'IsViewable'" && ok "a click on the picture hides it" || bad "About stays after a click"
else
  bad "About did not show"
fi

# 7. "Exit": the last item (Up from the top wraps to it); the process ends, the icon goes.
click_icon 3
wait_for 5 menu_window && { xdotool key Up; sleep 0.1; xdotool key Return; }
if wait_for 10 sh -c "! kill -0 $APID 2>/dev/null"; then
  wait "$APID"; rc=$?; APID=
  check "Exit ends the program with status 0 (rc=$rc)" [ "$rc" = 0 ]
  check "the icon is gone from the tray" sh -c "! xwininfo -tree -id $tray | grep -q $(printf '0x%x' "$ICON")"
else
  bad "the program is still running after Exit"
fi

check "the program wrote nothing on standard output or error" only_lines "$OUT/app.log"

echo "screenshots in $OUT: $(cd "$OUT" && ls ./*.png 2>/dev/null | xargs)"
echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
