#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# quorvex-query end to end, unmodified, in a private network namespace whose hosts file sends
# the registries' WHOIS server names to whoisd on 127.0.0.2..5:43: the exact output of a
# query, host names, several addresses, every exit status, time-out, refused connections.
# usage: query-e2e.sh QUORVEX_QUERY WHOISD RANGE_FILE_OR_OSTRAND_BUILD
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
QQ=$(realpath "${1:?quorvex-query}"); WHOISD=$(realpath "${2:?whoisd}"); RANGE=$(realpath "${3:?range}")
[ -x "$QQ" ] || ns_skip "$QQ not built"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-qe2e.XXXXXX)
PASSN=0; FAIL=0
ok()  { echo "PASS: $*"; PASSN=$((PASSN + 1)); }
bad() { echo "FAIL: $*"; FAIL=$((FAIL + 1)); }
trap 'ns_cleanup "$WORK"' EXIT
mkdir -p "$WORK/ns" "$WORK/run" "$WORK/bare"
ns_up "$WORK/ns" "$WHOISD" || exit 1
if [ -x "$RANGE" ]; then "$RANGE" /usr/share/tor/geoip "$WORK/run/Ostrand.dat" >/dev/null 2>&1
else cp "$RANGE" "$WORK/run/Ostrand.dat"; fi
[ -s "$WORK/run/Ostrand.dat" ] || ns_skip "no range file ($RANGE)"
cd "$WORK/run" || exit 1

# expect_rc WANT NAME ARGS...: runs quorvex-query, keeps stdout in $WORK/out, stderr in $WORK/err.
expect_rc() {
  local want=$1 name=$2; shift 2
  "$QQ" "$@" >"$WORK/out" 2>"$WORK/err"
  local rc=$?
  if [ "$rc" = "$want" ]; then ok "$name (exit $rc)"; else
    bad "$name: exit $rc, expected $want"; echo "--- stdout"; cat "$WORK/out"; echo "--- stderr"; cat "$WORK/err"; fi
}
same() {
  if cmp -s "$1" "$2"; then ok "$3"; else bad "$3"; diff -u "$1" "$2" | cat -A | head -40; fi
}
reply() {  # the whoisd reply for server $1 and query $2, as the pane shows it
  printf '%% %s test server\n%% query %s\n\ninetnum:        %s\nnetname:        QUORVEX-TEST\ndescr:          answered by %s\nsource:         %s\n' \
    "$1" "$2" "$2" "$1" "$1"
}

# Usage.
expect_rc 0 "--help" --help; grep -q '^usage: quorvex-query' "$WORK/out" && ok "--help prints the usage" || bad "--help text"
expect_rc 0 "--version" --version; grep -qE '^quorvex-query [0-9]+\.[0-9]+' "$WORK/out" && ok "--version prints it" || bad "--version text"
expect_rc 2 "no address"
expect_rc 2 "unknown option" --frobnicate 8.8.8.8
expect_rc 2 "--timeout without a number" --timeout
expect_rc 2 "--timeout not a number" --timeout soon 8.8.8.8
expect_rc 2 "--timeout zero" --timeout 0 8.8.8.8

# A European address: exactly the pane's lines, then a blank line.
expect_rc 0 "RIPE address" 193.0.6.139
{ sed -n 1p "$WORK/out" | grep -q '^193.0.6.139 is based in .' ; } && ok "location line" || bad "location line: $(sed -n 1p "$WORK/out")"
{ printf '\nAddress is European, querying RIPE..\n\n'; reply whois.ripe.net 193.0.6.139; printf '\nDone.\n\n'; } >"$WORK/want"
tail -n +2 "$WORK/out" >"$WORK/got"
same "$WORK/want" "$WORK/got" "RIPE output is the pane's text line by line, then a blank line"

# A URL with a host name that the hosts file knows: resolved, queried with its address.
expect_rc 0 "URL with a host name" "http://$NS_TEST_HOST/path/page?x=1"
{ printf 'Resolving %s..\n' "$NS_TEST_HOST"; printf 'Address is Global, querying ARIN..\n\n'
  reply whois.arin.net 127.0.0.9; printf '\nDone.\n\n'; } >"$WORK/want"
same "$WORK/want" "$WORK/out" "host name: Resolving line, Global/ARIN, the resolved address sent"

# Several addresses, one block each, each server by the registry rules.
expect_rc 0 "four registries in one run" 8.8.8.8 193.0.6.139 1.1.1.1 200.160.2.3
for pair in 'whois.arin.net 8.8.8.8' 'whois.ripe.net 193.0.6.139' 'whois.apnic.net 1.1.1.1' 'whois.lacnic.net 200.160.2.3'; do
  grep -qx "descr:          answered by ${pair% *}" "$WORK/out" && grep -qx "% query ${pair#* }" "$WORK/out" \
    && ok "answered by ${pair% *} for ${pair#* }" || bad "no answer by ${pair% *} for ${pair#* }"
done
[ "$(grep -c '^Done\.$' "$WORK/out")" = 4 ] && ok "four Done. lines" || bad "Done. count $(grep -c '^Done\.$' "$WORK/out")"

# Failures: exit 1, but every query still prints its block.
expect_rc 1 "unknown host" nosuch.invalid
printf 'Resolving nosuch.invalid..\nNo such host\n\n' >"$WORK/want"
same "$WORK/want" "$WORK/out" "unknown host: Resolving line, No such host"
expect_rc 1 "a good and a bad address" 8.8.8.8 nosuch.invalid
[ "$(grep -c '^Done\.$' "$WORK/out")" = 1 ] && grep -qx 'No such host' "$WORK/out" && ok "both blocks printed" || bad "blocks of a mixed run"
expect_rc 1 "address that cleans to nothing" '   '

# Without a range file: no location line, Global, ARIN.
cd "$WORK/bare" || exit 1
expect_rc 0 "no range file" 193.0.6.139
[ "$(sed -n 1p "$WORK/out")" = 'Address is Global, querying ARIN..' ] && ok "no range file: Global, ARIN" || bad "no range file: $(sed -n 1p "$WORK/out")"
cd "$WORK/run" || exit 1

# Servers that never answer: --timeout ends the query with the time-out line, exit 1.
ns_down
mkdir -p "$WORK/ns2"; ns_up "$WORK/ns2" "$WHOISD" --mode silent || exit 1
t0=$(date +%s%N)
expect_rc 1 "silent server, --timeout 2" --timeout 2 8.8.8.8
ms=$(( ($(date +%s%N) - t0) / 1000000 ))
[ "$ms" -ge 1800 ] && [ "$ms" -lt 8000 ] && ok "time-out after about 2 s ($ms ms)" || bad "time-out took $ms ms"
tail -n 4 "$WORK/out" | tr '\n' '|' | grep -qx 'Connection timeout||Done.||' && ok "pane ends: Connection timeout, empty line, Done." || { bad "time-out pane"; cat -A "$WORK/out"; }

# No servers at all: connection refused, exit 1, the query still ends with Done.
ns_down
expect_rc 1 "refused" 8.8.8.8
tail -n 2 "$WORK/out" | head -1 | grep -qx 'Done.' && ok "refused: Done." || { bad "refused pane"; cat -A "$WORK/out"; }

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
