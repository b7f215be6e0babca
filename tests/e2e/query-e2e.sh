#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# quorvex-query end to end, unmodified, in a private network namespace whose hosts file sends
# the registries' WHOIS server names to whoisd on 127.0.0.2..5:43: the exact output of a
# query, host names, IPv6 forms, pasted and defanged forms, several addresses, every exit status, time-out, refused
# connections, --follow for IPv4 and IPv6.
# usage: query-e2e.sh QUORVEX_QUERY WHOISD RANGE_FILE_OR_OSTRAND_BUILD
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns.sh"
QQ=$(realpath "${1:?quorvex-query}"); WHOISD=$(realpath "${2:?whoisd}"); RANGE=$(realpath "${3:?range}")
[ -x "$QQ" ] || ns_skip "$QQ not built"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-qe2e.XXXXXX)
. "$HERE/checks.sh"
trap 'ns_cleanup "$WORK"' EXIT
mkdir -p "$WORK/ns" "$WORK/run" "$WORK/bare"
ns_up "$WORK/ns" "$WHOISD" || exit 1
if [ -x "$RANGE" ]; then "$RANGE" /usr/share/tor/geoip "$WORK/run/Ostrand.dat" >/dev/null 2>&1
  "$RANGE" -6 /usr/share/tor/geoip6 "$WORK/run/Ostrand6.dat" >/dev/null 2>&1
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

# IPv6: every pasted form is queried by its canonical text, with no Resolving line; an
# IPv4-mapped address is its IPv4 address; a name with only an IPv6 address is answered.
v6block() {  # the output for an IPv6 address $1 that the range file does not place
  { printf 'Address is Global, querying ARIN..\n\n'; reply whois.arin.net "$1"; printf '\nDone.\n\n'; } >"$WORK/want"
}
v6block 2001:db8::1
for form in 2001:DB8::1 'http://[2001:db8::1]:8080/x' 'user@[IPv6:2001:db8::1]' '<postmaster@[ipv6:2001:DB8::1]>' \
    2001:0db8:0000:0000:0000:0000:0000:0001 '[2001:db8:0:0::1%eth0]:43'; do
  expect_rc 0 "IPv6 form $form" "$form"
  same "$WORK/want" "$WORK/out" "IPv6 form $form: queried as 2001:db8::1"
done
v6block 1:2:3:4:5:6:102:304
expect_rc 0 "IPv6 with an IPv4 tail" 1:2:3:4:5:6:1.2.3.4
same "$WORK/want" "$WORK/out" "IPv6 with an IPv4 tail: queried as 1:2:3:4:5:6:102:304"
expect_rc 0 "a located IPv6 address" 2001:67c:2e8:22::C100:68B
{ printf '2001:67c:2e8:22::c100:68b is based in the Netherlands\n\nAddress is European, querying RIPE..\n\n'
  reply whois.ripe.net 2001:67c:2e8:22::c100:68b; printf '\nDone.\n\n'; } >"$WORK/want"
same "$WORK/want" "$WORK/out" "IPv6: is based in, from Ostrand6.dat; European, RIPE"
"$QQ" 193.0.6.139 >"$WORK/ipv4" 2>&1
expect_rc 0 "IPv4-mapped address" '::ffff:193.0.6.139'
same "$WORK/ipv4" "$WORK/out" "::ffff:193.0.6.139 gives the output of 193.0.6.139"
expect_rc 0 "host name with only an IPv6 address" "$NS_TEST_HOST6"
{ printf 'Resolving %s..\n' "$NS_TEST_HOST6"; v6block "$NS_TEST_ADDR6"; cat "$WORK/want"; } >"$WORK/want6"
same "$WORK/want6" "$WORK/out" "host with only an IPv6 address: Resolving line, its address queried"
expect_rc 1 "broken IPv6 address" '[::1'
printf 'Resolving [::1..\nNo such host\n\n' | cmp -s - "$WORK/out" && ok "broken IPv6 address: No such host" || bad "broken IPv6"

# Pasted forms no resolver reads: an address with a port, in brackets, after a full stop or a
# comma, defanged; a host name with a port or defanged. Each gives the output of the bare
# address or name, and the registry is asked for that alone.
for form in '193.0.6.139:43' '[193.0.6.139]:43' '(193.0.6.139)' '193.0.6.139,' '193.0.6.139.' '193.0.6.139;' \
    '193.0.6[.]139' 'hxxp://193.0.6[.]139/x' 'hxxps[:]//193[dot]0[DOT]6(.)139:8443/x'; do
  before=$(ns_queries)
  expect_rc 0 "pasted form $form" "$form"
  same "$WORK/ipv4" "$WORK/out" "pasted form $form gives the output of 193.0.6.139"
  [ "$(tail -n +$((before + 1)) "$NS_QUERY_LOG")" = 'whois.ripe.net 193.0.6.139' ] \
    && ok "pasted form $form: RIPE asked for 193.0.6.139 alone" || { bad "pasted form $form: asked"; tail -3 "$NS_QUERY_LOG"; }
done
"$QQ" "$NS_TEST_HOST" >"$WORK/host" 2>&1
for form in "$NS_TEST_HOST:8080" "hxxp://host[.]quorvex[.]test/x" "hxxps://host[.]quorvex[.]test:8443/x" \
    'user[at]host[dot]quorvex[dot]test' "($NS_TEST_HOST)"; do
  expect_rc 0 "pasted host form $form" "$form"
  same "$WORK/host" "$WORK/out" "pasted host form $form: Resolving $NS_TEST_HOST.., its address asked"
done
expect_rc 0 "defanged IPv6 address" '2001:db8[:]:1'
v6block 2001:db8::1
same "$WORK/want" "$WORK/out" "defanged IPv6 address: queried as 2001:db8::1"
# What resolves as it is, or never did, stays so.
for form in '1.2.3.4.5' '193.0.6.139:99999' '(1.2.3.4.5)' '193.0.6.139..'; do
  expect_rc 1 "no rescue for $form" "$form"
  printf 'Resolving %s..\nNo such host\n\n' "$form" | cmp -s - "$WORK/out" && ok "no rescue for $form: No such host" \
    || { bad "no rescue for $form"; cat "$WORK/out"; }
done

# --follow, against registries that answer outside their region as the real ones do.
ns_down
mkdir -p "$WORK/ns3"; ns_up "$WORK/ns3" "$WHOISD" --referrals || exit 1
has() { grep -qxF -- "$1" "$WORK/out"; }
served() { grep -qxF -- "$1" "$NS_QUERY_LOG"; }
expect_rc 0 "--help names --follow" --help
grep -q -- '--follow' "$WORK/out" && grep -q ', 3 when' "$WORK/out" && ok "--help: --follow and exit status 3" || bad "--help text for --follow"

cd "$WORK/bare" || exit 1
expect_rc 0 "Global address without --follow" 193.0.6.139
cp "$WORK/out" "$WORK/plain"
{ ! grep -q '^Referred to' "$WORK/plain" && [ "$(grep -c '^Done\.$' "$WORK/plain")" = 1 ]; } \
  && ok "without --follow the referral is printed, not followed" || bad "plain output followed a referral"
expect_rc 0 "Global address, ARIN refers to RIPE" --follow 193.0.6.139
head -c "$(wc -c <"$WORK/plain")" "$WORK/out" | cmp -s - "$WORK/plain" \
  && ok "--follow output starts with the unchanged pane text" || bad "--follow changed the first block"
has 'Referred to whois.ripe.net port 43..' && has 'descr:          answered by whois.ripe.net' \
  && ! grep -q '^Referral ignored' "$WORK/out" \
  && [ "$(grep -c '^Done\.$' "$WORK/out")" = 2 ] && served 'whois.ripe.net 193.0.6.139' \
  && ok "ARIN -> RIPE: one more block, RIPE asked for the address, no note on ARIN's web link" \
  || { bad "ARIN -> RIPE"; cat "$WORK/out"; }
expect_rc 0 "ResourceLink to APNIC" --follow 1.1.1.1
has 'Referred to whois.apnic.net port 43..' && has 'descr:          answered by whois.apnic.net' \
  && ok "ARIN's ResourceLink followed to APNIC" || { bad "ResourceLink"; cat "$WORK/out"; }
expect_rc 0 "loop ARIN -> LACNIC -> ARIN" --follow 192.0.2.1
has 'Referred to whois.lacnic.net port 43..' && has 'Not asking whois.arin.net port 43: that server was asked already.' \
  && [ "$(grep -c '^whois.arin.net 192.0.2.1$' "$NS_QUERY_LOG")" = 1 ] \
  && ok "loop: stops and says so, ARIN asked once" || { bad "loop"; cat "$WORK/out"; }
expect_rc 3 "referral to a refusing rwhois server" --follow 198.51.100.1
has 'Referred to 127.0.0.8 port 4321 (rwhois)..' && has 'Referral failed: 127.0.0.8 port 4321: connection refused.' \
  && ok "refused referral: the failure line, exit 3" || { bad "refused referral"; cat "$WORK/out"; }
expect_rc 1 "a failed query outranks a failed referral" --follow 198.51.100.1 nosuch.invalid
expect_rc 0 "hostile referral lines and the hop limit" --follow 203.0.113.1
for note in '(line too long): ReferralServer: whois://xxxx' '(bad port): ReferralServer: whois://whois.ripe.net:0' \
    '(bad port): ReferralServer: whois://whois.ripe.net:99999' '(not a whois or rwhois server): ReferralServer: ldap://' \
    '(bad host name): ReferralServer: whois://who_is.example'; do
  grep -qF -- "Referral ignored $note" "$WORK/out" && ok "note: $note" || bad "no note: $note"
done
! grep -qF 'ResourceLink:   https://' <(grep '^Referral ignored' "$WORK/out") && ok "no note on a web ResourceLink" \
  || bad "a web ResourceLink was noted"
has 'Not asking whois.lacnic.net port 43: at most 3 referrals are followed.' && ! served 'whois.lacnic.net 203.0.113.1' \
  && [ "$(grep -c '^Done\.$' "$WORK/out")" = 4 ] && ok "hop limit: three more servers, the fourth not asked" \
  || { bad "hop limit"; cat "$WORK/out"; }
[ "$(grep '^Referral ignored' "$WORK/out" | awk 'length > 160' | wc -l)" = 0 ] \
  && ok "a long referral line is noted in short" || bad "long note"
cd "$WORK/run" || exit 1

expect_rc 0 "African address through IANA to AFRINIC" --follow 41.58.1.1
{ printf '41.58.1.1 is based in Nigeria\n\nAddress is African, querying RIPE..\n\n'; } >"$WORK/want"
head -n 4 "$WORK/out" | cmp -s - "$WORK/want" && has 'netname:        NON-RIPE-NCC-MANAGED-ADDRESS-BLOCK' \
  && has 'Not managed by this registry, asking whois.iana.org port 43..' && has 'refer:        whois.afrinic.net' \
  && has 'Referred to whois.afrinic.net port 43..' && has 'descr:          answered by whois.afrinic.net' \
  && served 'whois.iana.org 41.58.1.1' && served 'whois.afrinic.net 41.58.1.1' \
  && ok "RIPE stub -> IANA -> AFRINIC" || { bad "African address"; cat "$WORK/out"; }
expect_rc 0 "African address that ARIN refers" --follow 41.0.0.1
has 'Address is African, querying ARIN..' && has 'Referred to whois.afrinic.net port 43..' \
  && ok "ARIN -> AFRINIC" || { bad "ARIN -> AFRINIC"; cat "$WORK/out"; }
expect_rc 0 "IPv6: African address through IANA to AFRINIC" --follow 2001:4270::1
head -n 4 "$WORK/out" | cmp -s - <(printf '2001:4270::1 is based in Nigeria\n\nAddress is African, querying RIPE..\n\n') \
  && has 'inet6num:       ::/0' && has 'Not managed by this registry, asking whois.iana.org port 43..' \
  && has 'inet6:        2001:4200::/23' && has 'Referred to whois.afrinic.net port 43..' \
  && has 'descr:          answered by whois.afrinic.net' && served 'whois.iana.org 2001:4270::1' \
  && served 'whois.afrinic.net 2001:4270::1' \
  && ok "IPv6: RIPE's ::/0 stub -> IANA -> AFRINIC" || { bad "IPv6 African address"; cat "$WORK/out"; }
cd "$WORK/bare" || exit 1
expect_rc 0 "IPv6: Global address, ARIN refers to RIPE" --follow 2001:67C:2E8::1
has 'Address is Global, querying ARIN..' && has 'NetRange:       2001:600:: - 2001:7FF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF' \
  && has 'Referred to whois.ripe.net port 43..' && served 'whois.ripe.net 2001:67c:2e8::1' \
  && [ "$(grep -c '^Done\.$' "$WORK/out")" = 2 ] \
  && ok "IPv6: ARIN's ReferralServer -> RIPE, asked for the canonical address" || { bad "IPv6 ARIN -> RIPE"; cat "$WORK/out"; }
cd "$WORK/run" || exit 1
expect_rc 0 "no referral in the reply" --follow 8.8.8.8
[ "$(grep -c '^Done\.$' "$WORK/out")" = 1 ] && ok "ARIN's own answer: nothing more" || { bad "own answer"; cat "$WORK/out"; }

# A registry on a public address (a documentation address on the namespace's loopback device)
# whose reply refers to this machine: by a name that resolves here, by a name with a public
# and a loopback address, by an octal spelling of 10.0.0.1, by 0.0.0.0. None of it is
# followed; each line says why; nothing else is connected to; exit 0.
ns_down
mkdir -p "$WORK/ns4"; ns_up "$WORK/ns4" "$WHOISD" --referrals || exit 1
ip addr add 198.51.100.43/32 dev lo || ns_skip "cannot add a test address"
# Rewritten in place: /etc/hosts is a bind mount of this very file.
{ grep -v ' whois.arin.net$' "$WORK/ns4/hosts"
  printf '198.51.100.43 whois.arin.net\n198.51.100.44 two.quorvex.test\n127.0.0.3 two.quorvex.test\n'; } >"$WORK/hosts.new"
cat "$WORK/hosts.new" >"$WORK/ns4/hosts"
for target in 'whois://localhost:6379' 'whois://two.quorvex.test' 'whois://012.0.0.1' 'whois://0.0.0.0:43'; do
  printf '%% whois.arin.net on a public address\n\nNetRange:       192.0.2.0 - 192.0.2.255\nReferralServer: %s\n' \
    "$target" >"$WORK/public.reply"
  "$WHOISD" --log "$NS_QUERY_LOG" --reply-file "$WORK/public.reply" 198.51.100.43:43=public-arin >"$WORK/pub.log" 2>&1 &
  pub=$!
  wait_for 10 grep -q listening "$WORK/pub.log" || { bad "public registry did not start"; cat "$WORK/pub.log"; }
  before=$(ns_queries)
  expect_rc 0 "public registry refers to $target" --follow 192.0.2.1
  kill "$pub"; wait "$pub" 2>/dev/null
  { grep -q '^Referral ignored (.*): ReferralServer: ' "$WORK/out" && ! grep -q '^Referred to' "$WORK/out" \
    && [ "$(ns_queries)" = $((before + 1)) ]; } \
    && ok "$target: ignored with a note, nothing else asked ($(grep '^Referral ignored' "$WORK/out" | sed 's/: Referral.*//'))" \
    || { bad "$target followed"; cat "$WORK/out"; tail -3 "$NS_QUERY_LOG"; }
done
# The first server counts as what the query reached, not as every address of its name: ARIN's
# name has its loopback address (the one connected to) and a public one.
{ grep -v ' whois.arin.net$' "$WORK/ns4/hosts"; printf '127.0.0.2 whois.arin.net\n198.51.100.43 whois.arin.net\n'; } >"$WORK/hosts.new"
cat "$WORK/hosts.new" >"$WORK/ns4/hosts"
expect_rc 0 "ARIN reached on loopback, its name public as well" --follow 192.0.2.1
has 'Referred to whois.lacnic.net port 43..' && ! grep -q '^Referral ignored' "$WORK/out" \
  && ok "the first server's kind is that of the address connected to" || { bad "first server's kind"; cat "$WORK/out"; }

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
