#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The log of bulk-vs-whois.sh over RDAP: quorvex-query --rdap --json --pace 0 --file LOG, with
# tests/support/rdapd.py (over TLS, the test's certificate authority in the namespace's store)
# answering ARIN's RDAP paths for the log's networks (--networks: each network's /24 in ARIN's
# shape, its registrant holding an abuse role). In the same namespace and sitting, as
# bulk-vs-whois.sh measures them: quorvex-query on port 43 (whoisd --records) and Debian's
# whois client once per distinct address. Reports the RDAP requests made per distinct address
# and per network, the wall times and their ratios, the peak memory of both roads for LINES
# and for ten times as many lines (the same addresses), and the requests with the build's
# range files (when there), which must not change which RDAP service is asked.
# usage: bulk-rdap.sh BUILD_DIR    env: LINES=10000 DISTINCT=2000 NETS=300
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
. "$SRC/tests/e2e/netns.sh"
. "$SRC/bench/peers/bulk-common.bash"
command -v openssl >/dev/null && command -v python3 >/dev/null || ns_skip "needs openssl and python3"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-bulkrdap.XXXXXX)
. "$SRC/tests/e2e/rdapns.sh"
trap 'rdap_stop; rdap_untrust; ns_cleanup "$WORK"' EXIT
ns_up "$WORK" "$WHOISD" --records || exit 1
# Rewritten in place: /etc/hosts is a bind mount of this very file.
{ cat "$WORK/hosts"; rdap_hosts 127.0.1.2; } >"$WORK/hosts.new" && cat "$WORK/hosts.new" >"$WORK/hosts"
bulk_log "$WORK" "$LINES" "$DISTINCT" "$NETS" || exit 1
rdap_certs "$WORK" && rdap_trust "$WORK" &&
  rdap_start "$WORK" "$SRC/tests/support/rdapd.py" "$SRC/tests/whois/rdap" --networks "$WORK/networks.txt" || exit 1
mkdir -p "$WORK/located"
for f in Ostrand.dat Ostrand6.dat; do [ -f "$BUILD/$f" ] && cp "$BUILD/$f" "$WORK/located/"; done
cd "$WORK" || exit 1

requests() { grep -c ' GET /registry/ip/' "$WORK/rdap.log"; }
# rdap_run LOG OUT: quorvex-query --rdap over LOG; sets SECONDS_TAKEN and REQUESTS, and keeps
# the requests' lines in OUT.requests.
rdap_run() {
  local before t0
  before=$(requests)
  t0=$(bulk_now)
  "$QQ" --rdap --json --pace 0 --file "$1" >"$2" 2>"$2.err" || { echo "quorvex-query --rdap failed:"; head -5 "$2.err"; return 1; }
  SECONDS_TAKEN=$(bulk_calc "$(bulk_now) - $t0")
  grep ' GET /registry/ip/' "$WORK/rdap.log" | tail -n +"$((before + 1))" >"$2.requests"
  REQUESTS=$(wc -l <"$2.requests")
}
# Every answer a network of the log's, with its holder and abuse contact, from RDAP.
answers_ok() {
  python3 - "$1" "$DISTINCT" <<'PY'
import json, sys
answers = [json.loads(line) for line in open(sys.argv[1])]
bad = [a for a in answers if a.get("source") != "rdap" or a.get("error") or not a.get("network")
       or not a.get("holder") or not a.get("abuse")]
if len(answers) != int(sys.argv[2]) or bad:
    print("%d answers, expected %s; %d without network, holder or abuse contact, first: %s"
          % (len(answers), sys.argv[2], len(bad), json.dumps(bad[0]) if bad else "-"))
    sys.exit(1)
PY
}
# The RDAP answers say what the port-43 ones say: the same networks, holders, countries and
# abuse mailboxes, address by address.
same_as_port43() {
  python3 - "$1" "$2" <<'PY'
import json, sys
def facts(path):
    out = []
    for line in open(path):
        a = json.loads(line)
        n = a.get("network") or {}
        out.append((a.get("address"), n.get("first"), n.get("last"), (a.get("holder") or {}).get("name"),
                    a.get("country"), sorted(x.get("email") for x in a.get("abuse") or [])))
    return out
rdap, whois = facts(sys.argv[1]), facts(sys.argv[2])
diff = [(r, w) for r, w in zip(rdap, whois) if r != w]
if len(rdap) != len(whois) or diff:
    print("the RDAP and port-43 answers differ (%d against %d answers); first: %s" % (len(rdap), len(whois), diff[:1]))
    sys.exit(1)
PY
}
# The most requests made for one network (the /24 of the path).
most_per_network() {
  sed 's|.* GET /registry/ip/||; s|\.[0-9]*$||' "$1" | sort | uniq -c | sort -rn | awk 'NR == 1 { print $1 } END { if (NR == 0) print 0 }'
}

# Warm up all three; check that they reach their servers.
first=$(head -1 distinct.txt)
whois -h 127.0.0.2 -p 43 8.8.8.8 | grep -q '^NetRange:' || { echo "whois client got no record"; exit 1; }
"$QQ" --json 8.8.8.8 2>/dev/null | grep -q '"network":{' || { echo "quorvex-query got no record"; exit 1; }
"$QQ" --rdap --json "$first" >warm.json 2>&1 && grep -q '"source":"rdap"' warm.json && grep -q '"network":{' warm.json ||
  { echo "quorvex-query --rdap got no record for $first:"; cat warm.json; exit 1; }

rdap_run "$WORK/log" "$WORK/rdap.json" || exit 1
r=$SECONDS_TAKEN; rq=$REQUESTS; rmost=$(most_per_network "$WORK/rdap.json.requests")
answers_ok "$WORK/rdap.json" || exit 1
bulk_port43 "$QQ" "$WORK/log" "$WORK/answers.json" "$DISTINCT" || exit 1
q=$BULK_SECONDS; queries=$BULK_QUERIES
same_as_port43 "$WORK/rdap.json" "$WORK/answers.json" || exit 1
bulk_whois_loop "$WORK/distinct.txt" || exit 1
w=$BULK_SECONDS; served=$BULK_QUERIES
[ "$served" = "$DISTINCT" ] || { echo "the whois loop made $served queries, expected $DISTINCT"; exit 1; }

rm1=$(bulk_peak "$QQ" --rdap --json --pace 0 --file "$WORK/log") || { echo "quorvex-query --rdap failed on the log"; exit 1; }
rm10=$(bulk_peak "$QQ" --rdap --json --pace 0 --file "$WORK/log10") || { echo "quorvex-query --rdap failed on the long log"; exit 1; }
qm1=$(bulk_peak "$QQ" --json --pace 0 --file "$WORK/log") || { echo "quorvex-query failed on the log"; exit 1; }
qm10=$(bulk_peak "$QQ" --json --pace 0 --file "$WORK/log10") || { echo "quorvex-query failed on the long log"; exit 1; }

located=
if [ -s "$WORK/located/Ostrand.dat" ]; then
  (cd "$WORK/located" && rdap_run "$WORK/log" "$WORK/located.json") || exit 1
  located=$(wc -l <"$WORK/located.json.requests")
fi

nets=$(wc -l <"$WORK/networks.txt")
printf 'a log of %d lines, %d distinct addresses in %d networks, loopback registries, pacing off:\n' \
  "$LINES" "$DISTINCT" "$nets"
printf '  RDAP requests by quorvex-query --rdap: %d (%.3f per distinct address, %.3f per network;\n' \
  "$rq" "$(bulk_calc "$rq / $DISTINCT")" "$(bulk_calc "$rq / $nets")"
printf '      goal <= 0.15, one per network; most for one network: %d)\n' "$rmost"
printf '  port-43 queries by quorvex-query:      %d (%.3f per distinct address)\n' \
  "$queries" "$(bulk_calc "$queries / $DISTINCT")"
[ -n "$located" ] && printf '  RDAP requests with the range files:    %d\n' "$located"
printf '  quorvex-query --rdap --json --file LOG: %7.3f s\n' "$r"
printf '  quorvex-query --json --file LOG:        %7.3f s\n' "$q"
printf '  whois, once per distinct address:       %7.3f s (%d processes)\n' "$w" "$DISTINCT"
printf '  ratio --rdap / port 43:                 %.3f\n' "$(bulk_calc "$r / $q")"
printf '  ratio --rdap / whois loop:              %.3f (port 43: %.3f; goal <= 0.2)\n' \
  "$(bulk_calc "$r / $w")" "$(bulk_calc "$q / $w")"
printf '  peak memory, %d lines:  --rdap %6.1f MiB, port 43 %6.1f MiB (ratio %.3f)\n' \
  "$LINES" "$(bulk_calc "$rm1 / 1024")" "$(bulk_calc "$qm1 / 1024")" "$(bulk_calc "$rm1 / $qm1")"
printf '  peak memory, %d lines: --rdap %6.1f MiB, port 43 %6.1f MiB (ratio %.3f)\n' \
  "$((LINES * 10))" "$(bulk_calc "$rm10 / 1024")" "$(bulk_calc "$qm10 / 1024")" "$(bulk_calc "$rm10 / $qm10")"
printf '  peak memory of --rdap, %d lines against %d: %.3f (goal within 1.2)\n' \
  "$((LINES * 10))" "$LINES" "$(bulk_calc "$rm10 / $rm1")"
