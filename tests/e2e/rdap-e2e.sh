#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# quorvex-query --rdap end to end, in a private network namespace: HTTPS services under the
# registries' RDAP names (tests/support/rdapd.py) on 127.0.1.2..6, IANA's port-43 server on
# 127.0.0.6, certificates from a certificate authority made here and trusted through the
# system's store, never by switching checks off. The registries' shapes, redirects across
# registries, stubs, IANA for AS numbers, every failure a registry or a hostile redirect can
# cause, a registry on a public address whose redirects may not reach this machine; the
# --summary form, standard input and --file, the run's cache, a 429's Retry-After honoured
# by the server's lane, exit statuses.
# usage: rdap-e2e.sh QUORVEX_QUERY WHOISD RDAPD FIXTURES
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
QQ=$(realpath "${1:?quorvex-query}"); WHOISD=$(realpath "${2:?whoisd}"); RDAPD=$(realpath "${3:?rdapd.py}")
FIXTURES=$(realpath "${4:?fixtures}")
[ -x "$QQ" ] || ns_skip "$QQ not built"
command -v openssl >/dev/null || ns_skip "openssl not found"
command -v python3 >/dev/null || ns_skip "python3 not found"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-rdap.XXXXXX)
. "$HERE/checks.sh"
. "$HERE/rdapns.sh"
PIDS=()
cleanup() {
  stop "${PIDS[@]}"
  rdap_stop
  rdap_untrust
  while umount /etc/hosts 2>/dev/null; do :; done
  while umount /etc/resolv.conf 2>/dev/null; do :; done
  rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK" || exit 1
ip link set lo up || exit 1
ip addr add 198.51.100.80/32 dev lo || ns_skip "cannot add test addresses"

rdap_certs "$WORK" || exit 1
rdap_trust "$WORK" || exit 1
write_hosts() {  # ARIN's address
  { echo "127.0.0.1 localhost"; rdap_hosts "$1"; echo "127.0.0.6 whois.iana.org"; } >"$WORK/hosts"
}
write_hosts 127.0.1.2
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >resolv.conf
mount --bind "$WORK/hosts" /etc/hosts && mount --bind "$WORK/resolv.conf" /etc/resolv.conf || exit 1

printf '%% IANA WHOIS server (test double)\n\nrefer:        whois.arin.net\n\naut-num:      15169\nwhois:        whois.arin.net\n' >iana.reply
: >whois.log
"$WHOISD" --log whois.log --reply-file iana.reply 127.0.0.6:43=whois.iana.org >whoisd.out 2>&1 & PIDS+=($!)
"$WHOISD" --mode silent 127.0.1.9:443=silent >silent.out 2>&1 & PIDS+=($!)
rdap_start "$WORK" "$RDAPD" "$FIXTURES" || exit 1
wait_for 10 sh -c "grep -q listening whoisd.out && grep -q listening silent.out" \
  || { echo "servers did not start:"; cat whoisd.out silent.out; exit 1; }

# ask NAME WANT_RC ARGS...: quorvex-query --rdap --json --pace 0 ARGS, standard input from
# $WORK/in, output in $WORK/out. json EXPR: a Python expression over L, the objects printed,
# and A, the first.
: >in
ask() {
  local name=$1 want=$2; shift 2
  "$QQ" --rdap --json --pace 0 "$@" <in >out 2>err
  local rc=$?
  if [ "$rc" = "$want" ]; then ok "$name (exit $rc)"; else
    bad "$name: exit $rc, expected $want"; echo "--- stdout"; cat out; echo "--- stderr"; cat err; fi
}
json() {
  python3 -c 'import json, sys; L = [json.loads(x) for x in open("out")]; A = L[0] if L else {}
sys.exit(0 if ('"$1"') else 1)' || { echo "  not so: $1"; sed 's/^/  /' out; return 1; }
}
has_re() { grep -qE -- "$1" out || { echo "  no line like: $1"; echo "  --- got:"; sed 's/^/  /' out; return 1; }; }
requests() { grep -c -- "$1" rdap.log; }

# The registries' own answers, each from the service IANA's bootstrap names.
"$QQ" --rdap 8.8.8.8 >out 2>err && ok "--rdap (exit 0)" || bad "--rdap: exit $?"
check "--rdap: the --summary form" eval '
  has_re "^ +network +8\.8\.8\.0 - 8\.8\.8\.255 \(8\.8\.8\.0/24\) GOGL NET-8-8-8-0-2$" &&
  has_re "^ +holder +Google LLC \(GOGL\)$" && has_re "^ +source +ARIN, rdap\.arin\.net \(asked rdap\.arin\.net\)$" &&
  has_re "^ +abuse +dns-abuse@google\.com \(entity ABUSE8888-ARIN in NET-8-8-8-0-2\), network-abuse@google\.com \(entity ABUSE5250-ARIN in GOGL\)$"'
check "the request: SNI and Host are the name, Accept application/rdap+json, no compression" \
  grep -qxF "rdap.arin.net sni=rdap.arin.net host=rdap.arin.net accept=application/rdap+json encoding=identity cookie=None GET /registry/ip/8.8.8.8" rdap.log
ask "each registry, IPv6, ARIN's padded addresses, an AS number" 0 193.0.6.139 1.1.1.1 200.160.2.3 196.216.2.1 \
  2001:67c:2e8:22::c100:68b 74.125.1.1 AS15169
check "--json: one object each, source rdap, the servers asked" json '
  len(L) == 7 and all(o["source"] == "rdap" and "error" not in o for o in L) and
  [o["server"] for o in L[:6]] == ["rdap.db.ripe.net", "rdap.apnic.net", "rdap.lacnic.net", "rdap.afrinic.net",
                                  "rdap.db.ripe.net", "rdap.arin.net"] and
  A["abuse"] == [{"email": "abuse@ripe.net", "object": "entity OPS4-RIPE in 193.0.0.0 - 193.0.7.255"}] and A["country"] == "NL" and
  L[1]["abuse"][0]["object"] == "entity IRT-APNICRANDNET-AU in 1.1.1.0 - 1.1.1.255" and
  (L[2]["network"]["first"], L[2]["network"]["last"]) == ("200.160.0.0", "200.160.15.255") and
  L[2]["abuse"][0]["object"] == "entity FAN in BR-NICB-LACNIC" and L[3]["holder"]["handle"] == "ORG-AFNC1-AFRINIC" and
  L[4]["network"]["last"] == "2001:67c:2e8:ffff:ffff:ffff:ffff:ffff" and L[5]["network"]["first"] == "74.125.0.0"'
check "AS15169: IANA asked for it, then ARIN's autnum" eval '
  json "L[6][\"asn\"] == {\"number\": \"AS15169\", \"name\": \"GOOGLE\"} and L[6][\"asked\"] == [\"whois.iana.org\", \"rdap.arin.net\"]" &&
  grep -qxF "whois.iana.org AS15169" whois.log'
check "no cookie sent back after a Set-Cookie" eval '! grep -v "cookie=None" rdap.log | grep -q .'
https_proxy=http://127.0.0.1:9 HTTPS_PROXY=http://127.0.0.1:9 all_proxy=http://127.0.0.1:9 \
  ask "with a proxy in the environment" 0 8.8.8.8
check "a proxy in the environment is not used" json 'A["network"]["first"] == "8.8.8.0"'

# Standard input and --file: each address once, a network's addresses from its answer.
before=$(requests "GET /registry/ip/8.8.8")
printf 'Dec  9 10:00:01 host sshd[1]: Failed password from 8.8.8.8 port 22\nagain 8.8.8.9 and 8.8.8.8\n' >in
ask "standard input" 0 -
check "a log: each address once, the second from the first one's network" eval '
  json "len(L) == 2 and L[1][\"query\"] == \"8.8.8.9\" and L[1][\"cached\"] and L[1][\"cached_from\"] == \"8.8.8.8\"" &&
  [ $(requests "GET /registry/ip/8.8.8") = $((before + 1)) ]'
cp in addresses.txt; : >in
"$QQ" --rdap --pace 0 --file addresses.txt >out 2>err && ok "--file (exit 0)" || bad "--file: exit $?"
check "--file: answered in the --summary form" [ "$(grep -c '^ *source ' out)" = 2 ]

# Another registry's networks in ARIN's blocks: a redirect, a holder, a port43; a placeholder.
ask "another registry's networks" 0 130.1.1.1 144.48.1.1 137.255.1.1 43.250.1.1
check "130.1.1.1: RIPE's answer after ARIN's 301" json '
  A["asked"] == ["rdap.arin.net", "rdap.db.ripe.net"] and A["registry"] == "RIPE" and A["network"]["first"] == "130.1.0.0"'
check "144.48.1.1: APNIC asked after ARIN's stub" json 'L[1]["asked"] == ["rdap.arin.net", "rdap.apnic.net"] and L[1]["network"]["last"] == "144.48.3.255"'
check "137.255.1.1: AFRINIC asked" json 'L[2]["asked"] == ["rdap.arin.net", "rdap.afrinic.net"] and L[2]["holder"]["handle"] == "ORG-EAF1-AFRINIC"'
check "43.250.1.1: placeholder, IANA, then ARIN" json 'L[3]["asked"] == ["rdap.apnic.net", "whois.iana.org", "rdap.arin.net"]'

# What a registry answers when it has no answer; exit status 1 for each.
ask "404" 1 192.0.2.1
check "404: no record, the server named" json 'A["error"].startswith("no record at rdap.arin.net: 404 ") and A["network"] is None'
"$QQ" --rdap 192.0.2.1 >out 2>err; [ $? = 1 ] && ok "--rdap, no record (exit 1)" || bad "--rdap, no record: exit"
check "no record: the error row, nothing made up" eval 'has_re "^ +error +no record at rdap\.arin\.net: 404 " && ! grep -q "^ *network" out'
t_before=$(wc -l <rdap.log.times)
ask "429 in a run: asked again after Retry-After" 0 192.0.2.30 8.8.8.8
check "the lane waited the 2 s the server asked for, then both were answered" eval '
  json "len(L) == 2 and A[\"network\"][\"name\"] == \"PATIENT\" and \"error\" not in A" &&
  tail -n +$((t_before + 1)) rdap.log.times | awk "
    /192.0.2.30/ { n++; if (n == 1) t0 = \$1; else t2 = \$1 } /8.8.8.8/ { t1 = \$1 }
    END { exit !(n == 2 && t1 - t0 >= 1.9 && t2 - t0 >= 1.9) }"'
ask "429 for ever" 1 192.0.2.29
check "429: asked 4 times, then rate limited" eval '
  json "A[\"error\"] == \"rate limited by rdap.arin.net (retry after 1 s)\"" && [ $(requests "GET /registry/ip/192.0.2.29") = 4 ]'
ask "500 and HTML" 1 192.0.2.50 192.0.2.51
check "500: a failure naming the server" json 'A["error"].startswith("rdap.arin.net failed: 500 ")'
check "HTML: not read, said so" json 'L[1]["error"].startswith("rdap.arin.net'"'"'s answer was not read: it is not JSON")'

# Redirects that are not followed.
ask "redirects refused or ended" 1 192.0.2.80 192.0.2.81 192.0.2.82 192.0.2.102
check "http: refused, nothing asked there" eval '
  json "A[\"error\"].startswith(\"not following a redirect that is not https: http://rdap.db.ripe.net/\")" &&
  [ $(requests "GET /ip/192.0.2.80") = 0 ]'
check "loop: ends when a URL comes again" eval '
  json "L[1][\"error\"] == \"redirect loop: https://rdap.arin.net/registry/ip/192.0.2.81 was asked already\"" &&
  [ $(requests "GET /registry/ip/192.0.2.81") = 1 ]'
check "at most 3 redirects" eval 'json "L[2][\"error\"].startswith(\"more than 3 redirects\")" && [ $(requests "GET /registry/hop/") = 3 ]'
check "user:password@ refused" json 'L[3]["error"].startswith("not following a redirect to a bad host")'

# Bodies: exactly 8 MiB is read, a byte more is not, nor one without end; one cut short.
ask "8 MiB answer" 0 192.0.2.87
check "8 MiB: read" json 'A["network"]["name"] == "BIG"'
ask "bodies past 8 MiB, cut short" 1 192.0.2.88 192.0.2.89 192.0.2.90
check "past 8 MiB: cut and said" json 'A["error"] == "rdap.arin.net sent more than 8 MiB; the answer was cut there and not read"'
check "endless: cut at 8 MiB" json 'L[1]["error"].startswith("rdap.arin.net sent more than 8 MiB")'
check "cut: said with the byte counts" json '__import__("re").match(r"rdap.arin.net cut the answer off after 2000 of \d+ bytes$", L[2]["error"])'

# Certificates: a name the certificate does not hold, another authority, another name on an
# address whose connection is open already for a name it holds.
ask "bad certificates" 1 192.0.2.100 192.0.2.101 8.8.8.8 192.0.2.103
check "wrong name: TLS refused" eval '
  json "A[\"error\"].startswith(\"badname.quorvex.test: the TLS handshake failed (\") and \"host name did not match\" in A[\"error\"]" &&
  [ $(requests "^badname ") = 0 ]'
check "untrusted authority: TLS refused" eval '
  json "L[1][\"error\"].startswith(\"otherca.quorvex.test: the TLS handshake failed\")" && [ $(requests "^otherca ") = 0 ]'
check "the open connection is not taken for another name" json '
  "error" not in L[2] and L[3]["error"].startswith("alias.quorvex.test: the TLS handshake failed (") and "host name did not match" in L[3]["error"]'
check "SNI and Host were always the name asked" eval '! grep -vE "^([a-z.0-9]+) sni=\1 host=\1 |^(public|badname|otherca|public2) " rdap.log | grep -q .'

# Servers that never answer, or are not there.
t0=$(date +%s%N)
ask "silent server, --timeout 2" 1 --timeout 2 192.0.2.120
ms=$(( ($(date +%s%N) - t0) / 1000000 ))
check "time-out after about 2 s ($ms ms), the server named" eval '[ $ms -ge 1800 ] && [ $ms -lt 6000 ] &&
  json "A[\"error\"] == \"silent.quorvex.test: no answer within 2 seconds\""'
ask "refused" 1 192.0.2.121
check "refused: said" json 'A["error"] == "refused.quorvex.test: connection refused"'

# ARIN on a public address: its redirects may lead to public addresses only.
write_hosts 198.51.100.80
before=$(wc -l <rdap.log)
ask "public ARIN redirects to this machine" 1 192.0.2.110 192.0.2.111 192.0.2.112 192.0.2.113 192.0.2.114
check "refused, the reason given" json '
  all(__import__("re").match(r"redirect not followed \(\S+ is 127\.0\.[01]\.\d+, a loopback address, and the server that redirects to it is not\): ", o["error"]) for o in L[:3])'
check "a numeric spelling: a bad host" json 'all(o["error"].startswith("not following a redirect to a bad host") for o in L[3:])'
check "a refused server is not counted as asked" json 'all(o["asked"] == ["rdap.arin.net"] for o in L)'
check "none of them reached a loopback service" [ "$(tail -n +$((before + 1)) rdap.log | grep -vc '^public ')" = 0 ]
ask "public ARIN redirects to another public service" 0 192.0.2.115
check "public to public: followed" json 'A["server"] == "public2.quorvex.test" and A["holder"]["name"] == "Public Two"'

"$QQ" --help >out 2>err
check "--help names --rdap" grep -q -- "--rdap" out

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
