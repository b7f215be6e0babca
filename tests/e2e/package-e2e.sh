#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The packaged quorvex-query end to end: from .debs unpacked into a scratch root (the
# terminal command's and the data's), or from the files the packages installed (ROOT /), in
# a private network namespace whose registries are whoisd on loopback. Run in the packaged
# range file's folder it names the country; elsewhere it finds the installed data folder, or
# without one counts the address as Global. Also
# what its manual page says of the options, the order of the output, standard error and
# control characters on a terminal, against the packaged program.
# usage: package-e2e.sh WHOISD ROOT_DIR
#        package-e2e.sh WHOISD DEB...
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
WHOISD=$(realpath "${1:?whoisd}"); shift
FROM=()
for f in "${@:?root folder or .debs}"; do
  f=$(realpath -m "$f"); [ -e "$f" ] || ns_skip "$f not found: run make package first"; FROM+=("$f")
done
ns_require_root
ns_enter "$0" "$WHOISD" "${FROM[@]}"

WORK=$(mktemp -d /tmp/quorvex-pe2e.XXXXXX)
. "$HERE/checks.sh"
trap 'ns_cleanup "$WORK"' EXIT
mkdir -p "$WORK/ns" "$WORK/elsewhere"
if [ -f "${FROM[0]}" ]; then
  ROOT=$WORK/root
  for deb in "${FROM[@]}"; do dpkg-deb -x "$deb" "$ROOT" || exit 1; done
else ROOT=${FROM[0]%/}; fi
QQ=$ROOT/usr/bin/quorvex-query
DATA=$ROOT/usr/share/quorvex
[ -x "$QQ" ] && [ -s "$DATA/Ostrand.dat" ] || { echo "FAIL: no $QQ or $DATA/Ostrand.dat"; exit 1; }
ns_up "$WORK/ns" "$WHOISD" || exit 1

v=$("$QQ" --version); rc=$?
[ $rc = 0 ] && grep -qE '^quorvex-query [0-9]+\.[0-9]+\.[0-9]+$' <<<"$v" && ok "$QQ --version: $v" || bad "--version: exit $rc, $v"

# In the range file's folder: the country line, the registry, the reply, Done.
cd "$DATA" || exit 1
"$QQ" --timeout 20 193.0.6.139 >"$WORK/out" 2>"$WORK/err"; rc=$?
echo "--- pane text"; cat "$WORK/out"
[ $rc = 0 ] && ok "query in $DATA: exit 0" || { bad "query: exit $rc"; cat "$WORK/err"; }
line1=$(sed -n 1p "$WORK/out")
grep -qE '^193\.0\.6\.139 is based in .+$' <<<"$line1" && ok "installed range file names the place: $line1" || bad "first line: $line1"
grep -qx 'Address is European, querying RIPE..' "$WORK/out" && ok "RIPE chosen" || bad "no RIPE line"
grep -qx 'descr:          answered by whois.ripe.net' "$WORK/out" && grep -qx '% query 193.0.6.139' "$WORK/out" \
  && ok "whois.ripe.net on loopback answered" || bad "no reply from whois.ripe.net"
[ "$(tail -n 2 "$WORK/out" | head -1)" = 'Done.' ] && ok "pane ends with Done." || bad "no Done. line"
grep -qx 'whois.ripe.net 193.0.6.139' "$NS_QUERY_LOG" && ok "whoisd logged the query" || { bad "query log"; cat "$NS_QUERY_LOG"; }

# Outside that folder the program looks in the installed data folder, /usr/share/quorvex: with
# the data package installed there the country is named all the same; otherwise (a scratch
# root on a machine without it) there is no range file: Global, ARIN, and one line on
# standard error says so.
cd "$WORK/elsewhere" || exit 1
"$QQ" --timeout 20 193.0.6.139 >"$WORK/out" 2>"$WORK/err"; rc=$?
if [ -s /usr/share/quorvex/Ostrand.dat ]; then
  [ $rc = 0 ] && grep -qE '^193\.0\.6\.139 is based in .+$' <<<"$(sed -n 1p "$WORK/out")" \
    && ok "elsewhere: the installed range file names the place" || { bad "elsewhere: exit $rc"; cat "$WORK/out" "$WORK/err"; }
else
  notice="quorvex-query: no range file Ostrand.dat or Ostrand6.dat in the working directory or in /usr/share/quorvex: addresses are not located and go to ARIN."
  [ $rc = 0 ] && [ "$(sed -n 1p "$WORK/out")" = 'Address is Global, querying ARIN..' ] && [ "$(cat "$WORK/err")" = "$notice" ] \
    && ok "elsewhere: no range file, Global, ARIN, and a line on standard error says so" \
    || { bad "elsewhere: exit $rc"; cat "$WORK/out" "$WORK/err"; }
fi

# The manual page's options. run RC NAME ARGS...: the exit status, stdout in out, stderr in err.
run() {
  local want=$1 name=$2; shift 2
  "$QQ" "$@" >"$WORK/out" 2>"$WORK/err"; local rc=$?
  [ "$rc" = "$want" ] && ok "$name: exit $rc" || { bad "$name: exit $rc, expected $want"; cat "$WORK/out" "$WORK/err"; }
}
run 0 "--timeout 2147483, the largest" --timeout 2147483 8.8.8.8
run 0 "--timeout=1, the smallest, in the joined form" --timeout=1 8.8.8.8
for bad_value in 2147484 0 -1 1.5; do run 2 "--timeout $bad_value" --timeout "$bad_value" 8.8.8.8; done
run 0 "-h" -h
grep -q '^usage: quorvex-query' "$WORK/out" && ok "-h prints the usage" || bad "-h: $(head -1 "$WORK/out")"
run 1 "-- makes --version an address" -- --version
grep -q '^quorvex-query [0-9]' "$WORK/out" && bad "after --, --version was taken as the option" \
  || ok "after --, --version is queried, not obeyed"
run 2 "an unknown option" --frobnicate 8.8.8.8
[ ! -s "$WORK/out" ] && [ -s "$WORK/err" ] && ok "a usage error goes to standard error only" \
  || bad "usage error: stdout '$(cat "$WORK/out")', stderr '$(cat "$WORK/err")'"

# One block for each address in the order given (the range file picks each one's registry).
cd "$DATA" || exit 1
run 0 "two addresses" 200.160.2.3 1.1.1.1
order=$(sed -n 's/^descr: *answered by //p' "$WORK/out" | tr '\n' ' ')
[ "$order" = "whois.lacnic.net whois.apnic.net " ] && ok "blocks in the order given: $order" || bad "order: $order"

# Control characters of a reply: '?' on a terminal (script(1) gives it one), bytes unchanged
# into a pipe.
ns_down
printf '%% query %%q\r\nremarks: bell\a escape\033[31m delete\177 tab\there\r\n' >"$WORK/reply"
ns_up "$WORK/ns" "$WHOISD" --reply-file "$WORK/reply" || exit 1
"$QQ" 8.8.8.8 >"$WORK/pipe" 2>&1
grep -qF "$(printf 'bell\a escape\033[31m delete\177 tab\there')" "$WORK/pipe" \
  && ok "into a pipe the reply's bytes go unchanged" || { bad "pipe:"; cat -A "$WORK/pipe"; }
script -qec "$QQ 8.8.8.8" /dev/null >"$WORK/tty" 2>&1
grep -qF "$(printf 'bell? escape?[31m delete? tab\there')" "$WORK/tty" \
  && ok "on a terminal control characters show as '?', tab kept" || { bad "terminal:"; cat -A "$WORK/tty"; }

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
