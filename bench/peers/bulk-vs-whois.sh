#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Many addresses from a log: quorvex-query --json --file LOG against Debian's whois client
# run once per distinct address in a shell loop (asking 127.0.0.2, where whois.arin.net is,
# so that it sends the bare address rather than ARIN's flags). The log has LINES (10,000)
# lines with DISTINCT (2,000) addresses in NETS (300) networks of ARIN's space (made by
# bulk-common.bash, for bulk-rdap.sh as well); whoisd --records answers each network's /24 in
# ARIN's shape on a loopback registry in a private namespace, pacing off (--pace 0). Without
# range files every address goes to ARIN, which holds them all; with the build's range files
# (when there) some blocks are placed in other regions, whose test registries send them on to
# ARIN through IANA. Reports queries made per distinct address, the wall times and their
# ratio, and quorvex-query's peak memory for LINES and for ten times as many lines (the same
# addresses).
# usage: bulk-vs-whois.sh BUILD_DIR    env: LINES=10000 DISTINCT=2000 NETS=300
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
. "$SRC/tests/e2e/netns.sh"
. "$SRC/bench/peers/bulk-common.bash"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-bulkbench.XXXXXX)
trap 'ns_cleanup "$WORK"' EXIT
ns_up "$WORK" "$WHOISD" --records || exit 1
mkdir -p "$WORK/located"
for f in Ostrand.dat Ostrand6.dat; do [ -f "$BUILD/$f" ] && cp "$BUILD/$f" "$WORK/located/"; done
cd "$WORK" || exit 1

bulk_log "$WORK" "$LINES" "$DISTINCT" "$NETS" || exit 1

# Warm up both; check that they reach the server.
whois -h 127.0.0.2 -p 43 8.8.8.8 | grep -q '^NetRange:' || { echo "whois client got no record"; exit 1; }
"$QQ" --json 8.8.8.8 2>/dev/null | grep -q '"network":{' || { echo "quorvex-query got no record"; exit 1; }

bulk_port43 "$QQ" "$WORK/log" "$WORK/answers.json" "$DISTINCT" || exit 1
q=$BULK_SECONDS; queries=$BULK_QUERIES
bulk_whois_loop "$WORK/distinct.txt" || exit 1
w=$BULK_SECONDS; served=$BULK_QUERIES
[ "$served" = "$DISTINCT" ] || { echo "the whois loop made $served queries, expected $DISTINCT"; exit 1; }

m1=$(bulk_peak "$QQ" --json --pace 0 --file "$WORK/log") || { echo "quorvex-query failed on the log"; exit 1; }
m10=$(bulk_peak "$QQ" --json --pace 0 --file "$WORK/log10") || { echo "quorvex-query failed on the long log"; exit 1; }

located=
if [ -s "$WORK/located/Ostrand.dat" ]; then
  before=$(ns_queries)
  (cd "$WORK/located" && "$QQ" --json --pace 0 --file "$WORK/log" >"$WORK/located.json") || { echo "located run failed"; exit 1; }
  located=$(( $(ns_queries) - before ))
fi

printf 'a log of %d lines, %d distinct addresses in %d networks, one loopback registry, pacing off:\n' \
  "$LINES" "$DISTINCT" "$NETS"
printf '  queries made by quorvex-query:      %d (%.3f per distinct address; goal <= 0.15)\n' \
  "$queries" "$(bulk_calc "$queries / $DISTINCT")"
[ -n "$located" ] && printf '  the same with the range files:      %d (%.3f per distinct address, the referral chains of blocks\n      the range file places elsewhere included)\n' \
  "$located" "$(bulk_calc "$located / $DISTINCT")"
printf '  quorvex-query --json --file LOG:    %7.3f s\n' "$q"
printf '  whois, once per distinct address:   %7.3f s (%d processes)\n' "$w" "$DISTINCT"
printf '  ratio quorvex-query / whois loop:   %.3f (goal <= 0.2)\n' "$(bulk_calc "$q / $w")"
printf '  peak memory, %d lines:             %6.1f MiB\n' "$LINES" "$(bulk_calc "$m1 / 1024")"
printf '  peak memory, %d lines:            %6.1f MiB (ratio %.3f; goal within 1.2)\n' \
  "$((LINES * 10))" "$(bulk_calc "$m10 / 1024")" "$(bulk_calc "$m10 / $m1")"
