#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The RDAP client end to end, in a private network namespace: HTTPS services under the
# registries' RDAP names (tests/support/rdapd.py) on 127.0.1.2..6, IANA's port-43 server on
# 127.0.0.6, certificates from a certificate authority made here and trusted through the
# system's store, never by switching checks off. The registries' shapes, redirects across
# registries, stubs, IANA for AS numbers, every failure a registry or a hostile redirect can
# cause, and a registry on a public address whose redirects may not reach this machine.
# Then quorvex-query --rdap over the same services: --summary, --json, standard input and
# --file, the run's cache, a 429's Retry-After honoured by the server's lane, exit statuses.
# usage: rdap-e2e.sh ASK WHOISD RDAPD FIXTURES [QUORVEX_QUERY]
#   ASK: a program that prints each answer as "key: value" lines (tests/support/rdapask).
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
ASK=$(realpath "${1:?ask program}"); WHOISD=$(realpath "${2:?whoisd}"); RDAPD=$(realpath "${3:?rdapd.py}")
FIXTURES=$(realpath "${4:?fixtures}"); QQ=${5:+$(realpath "$5")}
[ -x "$ASK" ] || ns_skip "$ASK not built"
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

# ask NAME WANT_RC QUERY...: runs the client, output in $WORK/out.
ask() {
  local name=$1 want=$2; shift 2
  "$ASK" "$@" >out 2>err
  local rc=$?
  if [ "$rc" = "$want" ]; then ok "$name (exit $rc)"; else
    bad "$name: exit $rc, expected $want"; echo "--- stdout"; cat out; echo "--- stderr"; cat err; fi
}
has() { grep -qxF -- "$1" out || { echo "  missing line: $1"; echo "  --- got:"; sed 's/^/  /' out; return 1; }; }
has_re() { grep -qE -- "$1" out || { echo "  no line like: $1"; echo "  --- got:"; sed 's/^/  /' out; return 1; }; }
requests() { grep -c -- "$1" rdap.log; }

# The registries' own answers, each from the service IANA's bootstrap names.
ask "ARIN's record" 0 8.8.8.8
check "ARIN: the network, its holder, both abuse contacts with their levels" eval '
  has "outcome: answered" && has "server: rdap.arin.net" && has "asked: rdap.arin.net" &&
  has "network: 8.8.8.0 - 8.8.8.255" && has "cidrs: 8.8.8.0/24" && has "holder: Google LLC (GOGL)" &&
  has "abuse: dns-abuse@google.com (entity ABUSE8888-ARIN in NET-8-8-8-0-2)" &&
  has "abuse: network-abuse@google.com (entity ABUSE5250-ARIN in GOGL)"'
check "the request: SNI and Host are the name, Accept application/rdap+json, no compression" \
  grep -qxF "rdap.arin.net sni=rdap.arin.net host=rdap.arin.net accept=application/rdap+json encoding=identity cookie=None GET /registry/ip/8.8.8.8" rdap.log
ask "RIPE's record" 0 193.0.6.139
check "RIPE: the abuse mailbox typed in the vCard, the country" eval '
  has "server: rdap.db.ripe.net" && has "abuse: abuse@ripe.net (entity OPS4-RIPE in 193.0.0.0 - 193.0.7.255)" && has "country: NL"'
ask "APNIC, LACNIC, AFRINIC, IPv6, ARIN's padded addresses" 0 1.1.1.1 200.160.2.3 196.216.2.1 \
  2001:67c:2e8:22::c100:68b 74.125.1.1
check "each answered by its registry" eval '
  has "abuse: helpdesk@apnic.net (entity IRT-APNICRANDNET-AU in 1.1.1.0 - 1.1.1.255)" &&
  has "network: 200.160.0.0 - 200.160.15.255" && has "abuse: abuse@nic.br (entity FAN in BR-NICB-LACNIC)" &&
  has "holder: African Network Information Center - ( AFRINIC ) (ORG-AFNC1-AFRINIC)" &&
  has "network: 2001:67c:2e8:: - 2001:67c:2e8:ffff:ffff:ffff:ffff:ffff" && has "network: 74.125.0.0 - 74.125.255.255"'
check "five requests, one to each service, none twice" eval '
  [ $(requests "GET /ip/1.1.1.1\$") = 1 ] && [ $(requests "GET /rdap/ip/200.160.2.3\$") = 1 ] &&
  [ $(requests "GET /rdap/ip/196.216.2.1\$") = 1 ] && [ $(requests "GET /ip/2001:67c:2e8:22::c100:68b\$") = 1 ]'
check "no cookie sent back after a Set-Cookie" eval '! grep -v "cookie=None" rdap.log | grep -q .'
https_proxy=http://127.0.0.1:9 HTTPS_PROXY=http://127.0.0.1:9 all_proxy=http://127.0.0.1:9 \
  ask "with a proxy in the environment" 0 8.8.8.8
check "a proxy in the environment is not used" has "network: 8.8.8.0 - 8.8.8.255"
ask "three at once" 0 --together 8.8.8.8 193.0.6.139 1.1.1.1
check "three answers" [ "$(grep -c '^outcome: answered$' out)" = 3 ]

# AS numbers: IANA's port-43 server names the registry.
ask "AS number" 0 AS15169
check "AS15169: IANA asked for it, then ARIN's autnum" eval '
  has "asked: whois.iana.org rdap.arin.net" && has "as: AS15169 GOOGLE" && grep -qxF "whois.iana.org AS15169" whois.log'

# Another registry's networks in ARIN's blocks: a redirect, a holder, a port43; a placeholder.
ask "ARIN redirects to RIPE" 0 130.1.1.1
check "130.1.1.1: RIPE's answer after ARIN's 301" eval '
  has "server: rdap.db.ripe.net" && has "asked: rdap.arin.net rdap.db.ripe.net" && has "network: 130.1.0.0 - 130.1.255.255" &&
  has "note: rdap.arin.net redirects (301 Moved Permanently) to https://rdap.db.ripe.net/ip/130.1.1.1"'
ask "ARIN's record held by APNIC" 0 144.48.1.1
check "144.48.1.1: APNIC asked after ARIN's stub" eval '
  has "asked: rdap.arin.net rdap.apnic.net" && has "network: 144.48.0.0 - 144.48.3.255" &&
  has "note: rdap.arin.net does not hold it (its holder is APNIC); asking APNIC"'
ask "ARIN's record naming AFRINIC's port43" 0 137.255.1.1
check "137.255.1.1: AFRINIC asked" eval 'has "asked: rdap.arin.net rdap.afrinic.net" && has "holder: Example Africa (ORG-EAF1-AFRINIC)"'
ask "APNIC's placeholder" 0 43.250.1.1
check "43.250.1.1: placeholder, IANA, then ARIN" eval '
  has "asked: rdap.apnic.net whois.iana.org rdap.arin.net" && has "network: 43.250.0.0 - 43.250.255.255"'

# What a registry answers when it has no answer.
ask "404" 1 192.0.2.1
check "404: no record, the server named" eval 'has "outcome: no record" && has_re "^error: no record at rdap.arin.net: 404 "'
ask "429" 1 192.0.2.29
check "429: rate limited, Retry-After read" eval 'has "outcome: rate limited" && has "retry-after: 7 rdap.arin.net"'
ask "500" 1 192.0.2.50
check "500: a failure naming the server" has_re "^error: rdap.arin.net failed: 500 "
ask "not JSON" 1 192.0.2.51
check "HTML: not read, said so" has_re "^error: rdap.arin.net's answer was not read: it is not JSON"

# Redirects that are not followed.
ask "redirect to http" 1 192.0.2.80
check "http: refused, nothing asked there" eval 'has "outcome: refused" && has_re "^error: not following a redirect that is not https: http://rdap.db.ripe.net/" &&
  [ $(requests "GET /ip/192.0.2.80") = 0 ]'
ask "redirect loop" 1 192.0.2.81
check "loop: ends when a URL comes again" eval 'has_re "^error: redirect loop: https://rdap.arin.net/registry/ip/192.0.2.81 was asked already" &&
  [ $(requests "GET /registry/ip/192.0.2.81") = 1 ]'
ask "too many redirects" 1 192.0.2.82
check "at most 3 redirects" eval 'has_re "^error: more than 3 redirects" && [ $(requests "GET /registry/hop/") = 3 ]'
ask "redirect with credentials" 1 192.0.2.102
check "user:password@ refused" has_re "^error: not following a redirect to a bad host"

# Bodies: exactly 8 MiB is read, a byte more is not, nor one without end; one cut short.
ask "8 MiB answer" 0 192.0.2.87
check "8 MiB: read" has "name: BIG"
ask "8 MiB and a byte" 1 192.0.2.88
check "past 8 MiB: cut and said" has_re "^error: rdap.arin.net sent more than 8 MiB; the answer was cut there and not read"
ask "an answer without end" 1 192.0.2.89
check "endless: cut at 8 MiB" has_re "^error: rdap.arin.net sent more than 8 MiB"
ask "an answer cut short" 1 192.0.2.90
check "cut: said with the byte counts" has_re "^error: rdap.arin.net cut the answer off after 2000 of [0-9]+ bytes"

# Certificates: a name the certificate does not hold, another authority, another name on an
# address whose connection is open already for a name it holds.
ask "wrong certificate name" 1 192.0.2.100
check "wrong name: TLS refused" eval 'has_re "^error: badname.quorvex.test: the TLS handshake failed \(.*host name did not match" &&
  [ $(requests "^badname ") = 0 ]'
ask "another authority" 1 192.0.2.101
check "untrusted authority: TLS refused" eval 'has_re "^error: otherca.quorvex.test: the TLS handshake failed" && [ $(requests "^otherca ") = 0 ]'
ask "another name on an open connection" 1 8.8.8.8 192.0.2.103
check "the open connection is not taken for another name" has_re "^error: alias.quorvex.test: the TLS handshake failed \(.*host name did not match"
check "SNI and Host were always the name asked" eval '! grep -vE "^([a-z.0-9]+) sni=\1 host=\1 |^(public|badname|otherca|public2) " rdap.log | grep -q .'

# Servers that never answer, or are not there.
t0=$(date +%s%N)
ask "silent server, --timeout 2" 1 --timeout 2 192.0.2.120
ms=$(( ($(date +%s%N) - t0) / 1000000 ))
check "time-out after about 2 s ($ms ms), the server named" eval '[ $ms -ge 1800 ] && [ $ms -lt 6000 ] &&
  has "error: silent.quorvex.test: no answer within 2 seconds"'
ask "refused" 1 192.0.2.121
check "refused: said" has "error: refused.quorvex.test: connection refused"

# quorvex-query --rdap.
if [ -n "$QQ" ]; then
  qq() {  # NAME WANT_RC ARGS...: quorvex-query, output in $WORK/out, standard input from $WORK/in
    local name=$1 want=$2; shift 2
    "$QQ" "$@" <in >out 2>err
    local rc=$?
    if [ "$rc" = "$want" ]; then ok "$name (exit $rc)"; else
      bad "$name: exit $rc, expected $want"; echo "--- stdout"; cat out; echo "--- stderr"; cat err; fi
  }
  json() {  # PYTHON-EXPRESSION over L, the list of JSON objects of $WORK/out
    python3 -c 'import json, sys; L = [json.loads(x) for x in open("out")]; sys.exit(0 if ('"$1"') else 1)' \
      || { echo "  not so: $1"; sed 's/^/  /' out; return 1; }
  }
  : >in
  qq "--rdap" 0 --rdap 8.8.8.8
  check "--rdap: the --summary form" eval '
    has_re "^ +network +8\.8\.8\.0 - 8\.8\.8\.255 \(8\.8\.8\.0/24\) GOGL NET-8-8-8-0-2$" &&
    has_re "^ +holder +Google LLC \(GOGL\)$" && has_re "^ +source +ARIN, rdap\.arin\.net \(asked rdap\.arin\.net\)$" &&
    has_re "^ +abuse +dns-abuse@google\.com \(entity ABUSE8888-ARIN in NET-8-8-8-0-2\), network-abuse@google\.com \(entity ABUSE5250-ARIN in GOGL\)$"'
  qq "--rdap --json, three registries and an AS number" 0 --rdap --json 8.8.8.8 193.0.6.139 130.1.1.1 AS15169
  check "--json: one object each, source rdap, the servers asked" json '
    len(L) == 4 and all(o["source"] == "rdap" for o in L) and L[1]["abuse"][0]["email"] == "abuse@ripe.net" and
    L[2]["asked"] == ["rdap.arin.net", "rdap.db.ripe.net"] and L[2]["registry"] == "RIPE" and
    L[3]["asn"] == {"number": "AS15169", "name": "GOOGLE"} and L[3]["asked"] == ["whois.iana.org", "rdap.arin.net"]'
  before=$(requests "GET /registry/ip/8.8.8")
  printf 'Dec  9 10:00:01 host sshd[1]: Failed password from 8.8.8.8 port 22\nagain 8.8.8.9 and 8.8.8.8\n' >in
  qq "standard input" 0 --rdap --json --pace 0 -
  check "a log: each address once, the second from the first one's network" eval '
    json "len(L) == 2 and L[1][\"query\"] == \"8.8.8.9\" and L[1][\"cached\"] and L[1][\"cached_from\"] == \"8.8.8.8\"" &&
    [ $(requests "GET /registry/ip/8.8.8") = $((before + 1)) ]'
  cp in addresses.txt; : >in
  qq "--file" 0 --rdap --file addresses.txt
  check "--file: answered in the --summary form" [ "$(grep -c '^ *source ' out)" = 2 ]
  t_before=$(wc -l <rdap.log.times)
  qq "429 in a run: asked again after Retry-After" 0 --rdap --json --pace 0 192.0.2.30 8.8.8.8
  check "the lane waited the 2 s the server asked for, then both were answered" eval '
    json "len(L) == 2 and L[0][\"network\"][\"name\"] == \"PATIENT\" and \"error\" not in L[0]" &&
    tail -n +$((t_before + 1)) rdap.log.times | awk "
      /192.0.2.30/ { n++; if (n == 1) t0 = \$1; else t2 = \$1 } /8.8.8.8/ { t1 = \$1 }
      END { exit !(n == 2 && t1 - t0 >= 1.9 && t2 - t0 >= 1.9) }"'
  qq "no record" 1 --rdap 192.0.2.1
  check "no record: the error row, nothing made up" eval 'has_re "^ +error +no record at rdap\.arin\.net: 404 " && ! grep -q "^ *network" out'
  qq "a refused redirect" 1 --rdap --json 192.0.2.80
  check "refused: the reason in the answer" json 'L[0]["error"].startswith("not following a redirect that is not https")'
  qq "--rdap --help" 0 --help
  check "--help names --rdap" grep -q -- "--rdap" out
fi

# ARIN on a public address: its redirects may lead to public addresses only.
write_hosts 198.51.100.80
before=$(wc -l <rdap.log)
for q in 110 111 112; do
  ask "public ARIN redirects 192.0.2.$q to this machine" 1 192.0.2.$q
  check "192.0.2.$q: refused, the reason given" eval 'has "outcome: refused" && has_re "^error: redirect not followed \(.* is 127\.0\.[01]\.[0-9]+, a loopback address, and the server that redirects to it is not\)"'
done
for q in 113 114; do
  ask "public ARIN redirects 192.0.2.$q to a numeric spelling" 1 192.0.2.$q
  check "192.0.2.$q: a bad host" has_re "^error: not following a redirect to a bad host"
done
check "a refused server is not counted as asked" has "asked: rdap.arin.net"
check "none of them reached a loopback service" [ "$(tail -n +$((before + 1)) rdap.log | grep -vc '^public ')" = 0 ]
ask "public ARIN redirects to another public service" 0 192.0.2.115
check "public to public: followed" eval 'has "server: public2.quorvex.test" && has "holder: Public Two (PUB2)"'

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
