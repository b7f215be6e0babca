#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The packaged quorvex-query end to end: from a .deb unpacked into a scratch root, or from
# the files the package installed (ROOT /), in a private network namespace whose registries
# are whoisd on loopback. Run in the packaged range file's folder it names the country;
# elsewhere the address counts as Global.
# usage: package-e2e.sh WHOISD ROOT_DIR_OR_DEB
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
WHOISD=$(realpath "${1:?whoisd}"); FROM=$(realpath -m "${2:?root folder or .deb}")
[ -e "$FROM" ] || ns_skip "$FROM not found: run make package first"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-pe2e.XXXXXX)
. "$HERE/checks.sh"
trap 'ns_cleanup "$WORK"' EXIT
mkdir -p "$WORK/ns" "$WORK/elsewhere"
if [ -f "$FROM" ]; then ROOT=$WORK/root; dpkg-deb -x "$FROM" "$ROOT" || exit 1; else ROOT=${FROM%/}; fi
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

# Outside that folder there is no range file: Global, ARIN.
cd "$WORK/elsewhere" || exit 1
"$QQ" --timeout 20 193.0.6.139 >"$WORK/out" 2>"$WORK/err"; rc=$?
[ $rc = 0 ] && [ "$(sed -n 1p "$WORK/out")" = 'Address is Global, querying ARIN..' ] \
  && ok "elsewhere: no range file, Global, ARIN" || { bad "elsewhere: exit $rc"; cat "$WORK/out" "$WORK/err"; }

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
