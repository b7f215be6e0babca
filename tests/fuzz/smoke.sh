#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS seconds each; fails on the first crash, leak,
# sanitizer report or timeout. Build the targets first (`make fuzz`).
#   tests/fuzz/smoke.sh SECONDS [BUILD_DIR]     (BUILD_DIR defaults to build-fuzz)
set -euo pipefail

seconds=${1:?usage: smoke.sh SECONDS [BUILD_DIR]}
build=${2:-build-fuzz}
bin="$build/tests/fuzz"
artifacts="$build/fuzz-artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A few seeds per target, so that the first seconds already reach the interesting paths.
seed() { # target name text
  mkdir -p "$work/$1"
  printf '%b' "$3" >"$work/$1/$2"
}
seed fuzz-clean-address url 'https://host.example:8080/a/b?c=d'
seed fuzz-clean-address mail 'Help Desk <user@mail.example.org>'
seed fuzz-clean-address dotted '  192.0.2.1  '
seed fuzz-dotted-address plain '1.2.3.4'
seed fuzz-dotted-address padded '  001.02.3.255  '
seed fuzz-ip-to-number plain '192.0.2.1'
seed fuzz-ip-to-number odd ' 10.0.0.256x'
seed fuzz-range-file two '\x00\x00\x00\x00\x01\x0a\x00\x00\x00\x02'
seed fuzz-range-file tail '\x00\x00\x00\x00\x01\x0a\x00'
seed fuzz-ipv6-address url '[IPv6:2001:DB8:0:0:1::1%25eth0]:8080'
seed fuzz-ipv6-address mapped '::ffff:193.0.6.139'
seed fuzz-address-scan log '\x07\x01Received: from mx (mx [198.51.100.23]) [IPv6:2001:db8::25] 203.0.113[.]7:22, ::ffff:192.0.2.1 v1.2.3.4'
seed fuzz-whois-referral arin 'NetRange: 8.0.0.0 - 8.255.255.255\r\nReferralServer: whois://whois.a.example\r\nNetRange: 8.8.8.0 - 8.8.8.255\r\nReferralServer: rwhois://rw.example:4321/\r\nResourceLink: https://x.example/\r\n'
seed fuzz-whois-referral iana 'refer:        whois.afrinic.net\n\ninetnum:      41.0.0.0/8\nwhois:        whois.afrinic.net\n'
seed fuzz-whois-referral stub 'netname: NON-RIPE-NCC-MANAGED-ADDRESS-BLOCK\r\ndescr: not allocated to APNIC\r\n% not administered by LACNIC\r\nNetType: Allocated to AFRINIC\r\n'
seed fuzz-whois-answer arin '\x00NetRange: 192.0.2.0 - 192.0.2.255\r\nCIDR: 192.0.2.0/25, 192.0.2.128/25\r\nNetName: N\r\nCustomer: C (C1)\r\n\r\nCustName: C\r\nCountry: us\r\nRAbuseHandle: R-ARIN\r\nRAbuseEmail: a@b.example\r\n'
seed fuzz-whois-answer ripe '\x06% Abuse contact for '"'"'192.0.2.0 - 192.0.2.255'"'"' is '"'"'a@b.example'"'"'\n\ninetnum: 192.0.2.0 - 192.0.2.255\nnetname: N\norg: O1\nabuse-c: R1\nmnt-irt: IRT-X\nremarks: whois.nic.ad.jp\nsource: APNIC\n\norganisation: O1\norg-name: Org\nabuse-c: R2\n\nrole: R\nnic-hdl: R1\nabuse-mailbox: r@b.example\n\nirt: IRT-X\nabuse-mailbox: i@b.example\n\nrole: S\nnic-hdl: R2\nabuse-mailbox: s@b.example\n'
seed fuzz-whois-answer lacnic '\x12% Copyright LACNIC\r\n\r\ninetnum: 192.0/16\r\nowner: O\r\nownerid: X-LACNIC\r\nabuse-c: V\r\n\r\nnic-hdl: V\r\ne-mail: v@b.example\r\n'
seed fuzz-whois-answer rwhois '\x1e%rwhois V-1.5\nnetwork:ID:N1\nnetwork:IP-Network-Block:192.0.2.0 - 192.0.2.255\nnetwork:Organization;I:O1\nnetwork:Abuse-Contact;I:C1\n\norganization:ID:O1\norganization:Org-Name:Org\n\ncontact:ID:C1\ncontact:Email:c@b.example\n%ok\n'
seed fuzz-whois-answer autnum '\x02aut-num: AS15169\nas-name: X\n\nASNumber: 15169\nASName: G\n'

# The registries' response shapes, behind the byte that picks the query and the server.
mkdir -p "$work/fuzz-rdap-answer"
for f in "$(dirname "$0")"/../whois/rdap/*.json; do
  { printf '\x00'; cat "$f"; } >"$work/fuzz-rdap-answer/$(basename "$f")"
done

mkdir -p "$artifacts"
status=0
for target in fuzz-clean-address fuzz-dotted-address fuzz-ip-to-number fuzz-range-file fuzz-whois-referral fuzz-ipv6-address \
    fuzz-whois-answer fuzz-address-scan fuzz-rdap-answer; do
  if [ ! -x "$bin/$target" ]; then
    echo "smoke: $bin/$target not built" >&2
    status=1
    continue
  fi
  log="$work/$target.log"
  echo "smoke: $target for ${seconds}s"
  if "$bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$work/$target" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | sed "s/^/  /"
  else
    echo "smoke: $target FAILED" >&2
    tail -n 40 "$log" >&2
    echo "smoke: failing input kept under $artifacts/" >&2
    status=1
  fi
done
exit $status
