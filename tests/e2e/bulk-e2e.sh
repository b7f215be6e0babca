#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# quorvex-query's answers end to end, in a private network namespace whose registries
# (whoisd --records) answer in their own shapes: a log on standard input and mail headers
# from --file, each address once in the order of first appearance, one query per network,
# --summary, --json (checked by python3's JSON reader), binary bytes and a 10 MiB line on
# standard input, Ctrl-C half way, the exit statuses, AS numbers through IANA, a prefix,
# a reply with control bytes, the progress line on a terminal.
# usage: bulk-e2e.sh QUORVEX_QUERY WHOISD OSTRAND_BUILD
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
QQ=$(realpath "${1:?quorvex-query}"); WHOISD=$(realpath "${2:?whoisd}"); RANGE=$(realpath "${3:?ostrand-build}")
[ -x "$QQ" ] || ns_skip "$QQ not built"
command -v python3 >/dev/null || ns_skip "python3 not found"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-be2e.XXXXXX)
. "$HERE/checks.sh"
trap 'ns_cleanup "$WORK"' EXIT
mkdir -p "$WORK/ns" "$WORK/run"
ns_up "$WORK/ns" "$WHOISD" --records || exit 1
"$RANGE" /usr/share/tor/geoip "$WORK/run/Ostrand.dat" >/dev/null 2>&1
"$RANGE" -6 /usr/share/tor/geoip6 "$WORK/run/Ostrand6.dat" >/dev/null 2>&1
[ -s "$WORK/run/Ostrand.dat" ] || ns_skip "no range file"
cd "$WORK/run" || exit 1

# run WANT NAME ARGS... (stdin from $IN when set): stdout in $WORK/out, stderr in $WORK/err.
run() {
  local want=$1 name=$2; shift 2
  "$QQ" "$@" <"${IN:-/dev/null}" >"$WORK/out" 2>"$WORK/err"
  local rc=$?
  if [ "$rc" = "$want" ]; then ok "$name (exit $rc)"; else
    bad "$name: exit $rc, expected $want"; echo "--- stdout"; head -c 3000 "$WORK/out"; echo "--- stderr"; cat "$WORK/err"; fi
}
# json EXPR: python3 reads every line of out as JSON (J: the list) and prints EXPR.
json() { python3 -c "import json,sys; J=[json.loads(l) for l in open('$WORK/out', encoding='utf-8')]; print($1)"; }
served() { grep -c -xF -- "$1" "$NS_QUERY_LOG"; }

cat >"$WORK/auth.log" <<'EOF'
2024-05-01T10:00:01Z host sshd[812]: Failed password for root from 193.0.6.139 port 50122 ssh2
2024-05-01T10:00:02Z host sshd[812]: Failed password for root from 193.0.6.140 port 50123 ssh2
2024-05-01T10:00:03Z host sshd[813]: Invalid user admin from 8.8.8.8 port 40000
2024-05-01T10:00:04Z host sshd[814]: Connection closed by [2001:67c:2e8:22::c100:68b] port 22
2024-05-01T10:00:05Z host sshd[815]: Accepted publickey for me from 127.0.0.1 port 51000
2024-05-01T10:00:06Z host sshd[816]: Failed password for root from 193.0.6.139 port 50124 ssh2
2024-05-01T10:00:07Z host kernel: DROP IN=eth0 SRC=200.160.2.3 DST=10.0.0.5 PROTO=TCP
2024-05-01T10:00:08Z host sshd[817]: Failed password for root from 8.8.4.4 port 40001 ssh2
2024-05-01T10:00:09Z host sshd[818]: Failed password for root from 1.1.1.1 port 40002 ssh2
2024-05-01T10:00:10Z host sshd[819]: Failed password for root from 8.8.8.9 port 40003 ssh2
EOF
order='193.0.6.139 193.0.6.140 8.8.8.8 2001:67c:2e8:22::c100:68b 127.0.0.1 200.160.2.3 10.0.0.5 8.8.4.4 1.1.1.1 8.8.8.9'

# A log on standard input, as JSON.
IN=$WORK/auth.log run 0 "--json - with a log" --json --pace 0 -
[ "$(json "' '.join(j['query'] for j in J)")" = "$order" ] \
  && ok "each address once, in the order of first appearance" || { bad "order: $(json "[j['query'] for j in J]")"; }
[ "$(json "J[1]['cached'], J[1]['cached_from'], J[1]['asked'], J[1]['network']['first']")" = "True 193.0.6.139 [] 193.0.6.0" ] \
  && ok "an address in a network answered before: cached, cached_from, nothing asked" || bad "cached: $(json "J[1]")"
[ "$(served 'whois.ripe.net 193.0.6.140')" = 0 ] && [ "$(served 'whois.ripe.net 193.0.6.139')" = 1 ] \
  && [ "$(served 'whois.arin.net 8.8.8.9')" = 0 ] && ok "one query per network" || { bad "queries"; cat "$NS_QUERY_LOG"; }
[ "$(json "J[0]['registry'], J[0]['server'], J[0]['country'], J[0]['located'], J[0]['source'], J[0]['abuse_status']")" \
  = "RIPE whois.ripe.net NL the Netherlands whois found" ] && ok "registry, server, country, located, source, abuse_status" \
  || bad "fields: $(json "J[0]")"
[ "$(json "J[4]['error'], J[4]['network'], J[4]['asked']")" = "127.0.0.1 is a loopback address, which no registry holds None []" ] \
  && [ "$(json "J[6]['error']")" = "10.0.0.5 is a private network address, which no registry holds" ] \
  && ok "loopback and private addresses answered here with an error, not asked" || bad "local: $(json "J[4]")"
[ "$(json "sorted(set(k for j in J for k in j)) == sorted(['query','address','network','holder','country','abuse','abuse_status','registry','server','asked','source','cached','cached_from','located','error'])")" = True ] \
  && ok "the documented field names" || bad "fields: $(json "sorted(set(k for j in J for k in j))")"
python3 -m json.tool --json-lines "$WORK/out" >/dev/null && ok "python3 -m json.tool reads every line" || bad "json.tool"

# The same log as plain text: the panes, a line for what an earlier answer covers, Done.
IN=$WORK/auth.log run 0 "plain - with a log" --pace 0 -
{ printf '193.0.6.140 is based in the Netherlands\n\nAddress is European, querying RIPE..\n\n'
  printf '193.0.6.140 is in 193.0.6.0 - 193.0.6.255, the network of the answer for 193.0.6.139 above: not asked again.\n\nDone.\n\n'; } >"$WORK/want"
grep -qF -f <(sed -n 1p "$WORK/want") "$WORK/out" && python3 - "$WORK/out" "$WORK/want" <<'PY' && ok "plain: the covered address says which earlier answer covers it" || bad "plain covered block"
import sys
out, want = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
sys.exit(0 if want in out else 1)
PY
[ "$(grep -c '^Done\.$' "$WORK/out")" = 8 ] && grep -qx '127.0.0.1 is a loopback address, which no registry holds: not asked.' "$WORK/out" \
  && ok "plain: eight panes end in Done., the loopback address in one line" || { bad "plain panes"; cat "$WORK/out"; }
head -n 5 "$WORK/out" | tr '\n' '|' | grep -q '^193.0.6.139 is based in the Netherlands||Address is European, querying RIPE..||% Test double' \
  && ok "plain: the first pane as quorvex-query ADDRESS prints it" || { bad "plain first pane"; head -5 "$WORK/out"; }

# Mail headers from --file, as --summary.
cat >"$WORK/mail.txt" <<'EOF'
Received: from mail.example.org (mail.example.org [12.34.56.78])
	by mx.example.net with ESMTPS id 1234; Wed, 01 May 2024 10:00:00 +0000
Received: from [IPv6:2001:db8:0:1::25] (helo=client) by mail.example.org
X-Originating-IP: [64.6.64.6]
Message-ID: <20240501100000.1234@mail.example.org>
EOF
run 0 "--summary --file with mail headers" --summary --pace 0 --file "$WORK/mail.txt"
[ "$(grep -c '^[^ ]' "$WORK/out")" = 3 ] && grep -qx '12.34.56.78' "$WORK/out" && grep -qx '2001:db8:0:1::25' "$WORK/out" \
  && grep -qx '64.6.64.6' "$WORK/out" && ok "--summary: one block per address of the headers" || { bad "summary blocks"; cat "$WORK/out"; }
grep -qF '  network   2001:db8:: - 2001:db8:0:ffff:ffff:ffff:ffff:ffff (2001:db8::/48) NET-2001-db8' "$WORK/out" \
  && grep -qE '^  abuse     abuse@2001-db8.example' "$WORK/out" && grep -qE '^  source    ARIN, whois.arin.net' "$WORK/out" \
  && ok "--summary: aligned network, abuse and source lines" || { bad "summary lines"; cat "$WORK/out"; }

# Binary bytes and NULs on standard input; a line of 10 MiB.
printf '\000\377\3768.8.8.8\000\001 junk \376 9.9.9.9\000\n\033[31m\177 4.2.2.2' >"$WORK/binary"
IN=$WORK/binary run 0 "binary and NUL bytes on standard input" --json --pace 0 -
[ "$(json "' '.join(j['query'] for j in J)")" = "8.8.8.8 9.9.9.9 4.2.2.2" ] && ok "addresses among binary bytes" \
  || bad "binary: $(cat "$WORK/out")"
{ head -c $((10 * 1024 * 1024)) /dev/zero | tr '\0' 'x'; printf ' 12.0.0.1 end\n34.0.0.1\n'; } >"$WORK/long"
IN=$WORK/long run 0 "a line of 10 MiB" --json --pace 0 -
[ "$(json "' '.join(j['query'] for j in J)")" = "12.0.0.1 34.0.0.1" ] && ok "the address after a 10 MiB run of letters" \
  || bad "long line: $(head -c 300 "$WORK/out")"

# AS numbers through IANA to the registry; a prefix asks about its network.
run 0 "an AS number" AS15169
{ sed -n 1p "$WORK/out" | grep -qx 'Asking whois.iana.org port 43 for AS15169..'; } && grep -qx 'refer:        whois.arin.net' "$WORK/out" \
  && grep -qx 'Referred to whois.arin.net port 43..' "$WORK/out" && grep -qx 'ASName:         AS-15169' "$WORK/out" \
  && [ "$(grep -c '^Done\.$' "$WORK/out")" = 2 ] && ok "AS number: IANA's reply, then ARIN's, each ending in Done." \
  || { bad "AS number"; cat "$WORK/out"; }
run 0 "an AS number as JSON" --json as3333
[ "$(json "J[0]['query'], J[0]['asked'], J[0]['registry']")" = "AS3333 ['whois.iana.org', 'whois.ripe.net'] RIPE" ] \
  && [ "$(served 'whois.ripe.net AS3333')" = 1 ] && ok "as3333: asked as AS3333 of IANA, then RIPE" || bad "AS3333: $(cat "$WORK/out")"
run 0 "a prefix" --json 193.0.0.0/21
[ "$(served 'whois.ripe.net 193.0.0.0/21')" = 1 ] && [ "$(json "J[0]['network']['first'], J[0]['network']['last'], J[0]['address']")" \
  = "193.0.0.0 193.0.7.255 193.0.0.0" ] && ok "prefix: located by its first address, the canonical prefix sent" \
  || bad "prefix: $(cat "$WORK/out")"

# Control bytes and bytes that are no UTF-8 in a reply: still JSON, every control escaped.
run 0 "a reply with control bytes" --json 2001:db8:bad::1
json "J[0]['network']['name']" >/dev/null && ! LC_ALL=C grep -q "$(printf '[\001-\037\177]')" "$WORK/out" \
  && ok "control bytes and broken UTF-8: valid JSON, no raw control byte" || { bad "control bytes"; cat -A "$WORK/out"; }

# Exit statuses: a bad option value, a file that cannot be read, a referral that fails,
# a server that refuses.
run 2 "--pace not a number" --pace soon 8.8.8.8
grep -q -- '--pace wants seconds' "$WORK/err" && ok "--pace: the message names the option" || bad "--pace message: $(cat "$WORK/err")"
run 2 "--pace below zero" --pace -1 8.8.8.8
run 2 "--summary with --json" --summary --json 8.8.8.8
run 1 "a file that cannot be read" --json --file "$WORK/nosuch"
grep -qx "quorvex-query: cannot read $WORK/nosuch: No such file or directory" "$WORK/err" && ok "the unreadable file is named" \
  || bad "unreadable file: $(cat "$WORK/err")"
run 3 "a referral that fails" --json --pace 0 198.51.100.1
grep -q '"error":"referral failed: 127.0.0.8 port 4321: connection refused"' "$WORK/out" && ok "the failed referral in error" \
  || bad "referral failed: $(cat "$WORK/out")"
run 1 "a failure outranks a failed referral" --json --pace 0 198.51.100.1 nosuch.invalid
run 0 "--help" --help
grep -q -- '--json' "$WORK/out" && grep -q -- '--pace SECONDS' "$WORK/out" && ok "--help names --json and --pace" || bad "--help"

# The progress line on a terminal (script gives standard error one), redrawn and cleared.
script -qec "$QQ --pace 0 --json --file $WORK/auth.log >$WORK/tty.json" /dev/null >"$WORK/tty" 2>&1
grep -qF "$(printf '\r')" "$WORK/tty" && grep -qE 'of [0-9]+ answered, [0-9]+ quer' "$WORK/tty" \
  && grep -qF "$(printf '\r\033[K')" "$WORK/tty" && [ "$(wc -l <"$WORK/tty.json")" = 10 ] \
  && ok "a terminal gets the progress line, cleared at the end" || { bad "progress line"; cat -A "$WORK/tty" | head; }

# Ctrl-C half way: what was answered is printed, stderr says how much, exit 130. ARIN's
# addresses in five networks, a second between its queries.
printf '%s\n' 3.0.0.1 4.0.0.1 6.0.0.1 7.0.0.1 9.0.0.1 >"$WORK/five"
"$QQ" --json --pace 1 --file "$WORK/five" >"$WORK/out" 2>"$WORK/err" &
qq=$!
wait_for 10 sh -c "[ \$(grep -c '^{' '$WORK/out') -ge 2 ]"
kill -INT "$qq"; wait "$qq"; rc=$?
n=$(grep -c '^{' "$WORK/out")
[ "$rc" = 130 ] && [ "$n" -ge 2 ] && [ "$n" -lt 5 ] && grep -qx "quorvex-query: interrupted: $n of 5 answered." "$WORK/err" \
  && [ "$(json "' '.join(j['query'] for j in J)")" = "$(head -n "$n" "$WORK/five" | tr '\n' ' ' | sed 's/ $//')" ] \
  && ok "SIGINT: $n answers printed in order, the count on stderr, exit 130" \
  || { bad "SIGINT: rc=$rc n=$n"; cat "$WORK/out" "$WORK/err"; }

# No server at all: refused, exit 1, the answer says so.
ns_down
run 1 "refused" --json 8.8.8.8
grep -q '"error":"whois.arin.net port 43: connection refused"' "$WORK/out" && ok "refused: error names the server and the cause" \
  || bad "refused: $(cat "$WORK/out")"

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
