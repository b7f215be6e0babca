#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Many addresses from a log: quorvex-query --json --file LOG against Debian's whois client
# run once per distinct address in a shell loop (asking 127.0.0.2, where whois.arin.net is,
# so that it sends the bare address rather than ARIN's flags). The log has LINES (10,000)
# lines with DISTINCT (2,000) addresses in NETS (300) networks of ARIN's space; whoisd
# --records answers each network's /24 in ARIN's shape on a loopback registry in a private
# namespace, pacing off (--pace 0). Without range files every address goes to ARIN, which
# holds them all; with the build's range files (when there) some blocks are placed in
# other regions, whose test registries send them on to ARIN through IANA. Reports queries
# made per distinct address, the wall times and their ratio, and quorvex-query's peak memory
# for LINES and for ten times as many lines (the same addresses).
# usage: bulk-vs-whois.sh BUILD_DIR    env: LINES=10000 DISTINCT=2000 NETS=300
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
LINES=${LINES:-10000}
DISTINCT=${DISTINCT:-2000}
NETS=${NETS:-300}
. "$SRC/tests/e2e/netns.sh"
QQ=${QQ:-$BUILD/app/quorvex-query}
WHOISD=$BUILD/tests/support/whoisd
[ -x "$QQ" ] || ns_skip "$QQ not built"
[ -x "$WHOISD" ] || ns_skip "$WHOISD not built"
command -v whois >/dev/null || ns_skip "the whois client is not installed (package whois)"
[ -x /usr/bin/time ] || ns_skip "GNU time is not installed (package time)"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-bulkbench.XXXXXX)
trap 'ns_cleanup "$WORK"' EXIT
ns_up "$WORK" "$WHOISD" --records || exit 1
mkdir -p "$WORK/located"
for f in Ostrand.dat Ostrand6.dat; do [ -f "$BUILD/$f" ] && cp "$BUILD/$f" "$WORK/located/"; done
cd "$WORK" || exit 1

# The log: the distinct addresses first seen in turn, then repeats; sshd-style lines.
python3 - "$LINES" "$DISTINCT" "$NETS" "$WORK" <<'PY'
import random, sys
lines, distinct, nets, work = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
arin = [3, 4, 6, 7, 8, 9, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 26]
networks = [f"{arin[i % len(arin)]}.{i // len(arin)}.{(7 * i) % 256}" for i in range(nets)]
addresses = [f"{networks[j % nets]}.{j // nets + 1}" for j in range(distinct)]
open(f"{work}/distinct.txt", "w").write("\n".join(addresses) + "\n")
rng = random.Random(43)
def log(n, path):
    with open(path, "w") as out:
        for k in range(n):
            a = addresses[k] if k < distinct else rng.choice(addresses)
            out.write(f"2024-05-01T{k // 3600 % 24:02}:{k // 60 % 60:02}:{k % 60:02}Z host sshd[{1000 + k % 9000}]: "
                      f"Failed password for invalid user admin from {a} port {40000 + k % 20000} ssh2\n")
log(lines, f"{work}/log")
log(lines * 10, f"{work}/log10")
PY
[ -s "$WORK/log" ] || { echo "no log made"; exit 1; }

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }

# Warm up both; check that they reach the server.
whois -h 127.0.0.2 -p 43 8.8.8.8 | grep -q '^NetRange:' || { echo "whois client got no record"; exit 1; }
"$QQ" --json 8.8.8.8 2>/dev/null | grep -q '"network":{' || { echo "quorvex-query got no record"; exit 1; }

before=$(ns_queries)
t0=$(now)
"$QQ" --json --pace 0 --file "$WORK/log" >"$WORK/answers.json" 2>/dev/null || { echo "quorvex-query failed"; exit 1; }
t1=$(now)
queries=$(( $(ns_queries) - before ))
answers=$(wc -l <"$WORK/answers.json")
[ "$answers" = "$DISTINCT" ] || { echo "quorvex-query gave $answers answers, expected $DISTINCT"; exit 1; }
python3 -m json.tool --json-lines "$WORK/answers.json" >/dev/null || { echo "the answers are not JSON"; exit 1; }

before=$(ns_queries)
t2=$(now)
while read -r a; do whois -h 127.0.0.2 -p 43 "$a" >/dev/null || exit 1; done <"$WORK/distinct.txt"
t3=$(now)
served=$(( $(ns_queries) - before ))
[ "$served" = "$DISTINCT" ] || { echo "the whois loop made $served queries, expected $DISTINCT"; exit 1; }

peak() { /usr/bin/time -f %M -o "$WORK/peak" "$QQ" --json --pace 0 --file "$1" >/dev/null 2>&1 || exit 1; cat "$WORK/peak"; }
m1=$(peak "$WORK/log")
m10=$(peak "$WORK/log10")

located=
if [ -s "$WORK/located/Ostrand.dat" ]; then
  before=$(ns_queries)
  (cd "$WORK/located" && "$QQ" --json --pace 0 --file "$WORK/log" >"$WORK/located.json") || { echo "located run failed"; exit 1; }
  located=$(( $(ns_queries) - before ))
fi

q=$(calc "$t1 - $t0"); w=$(calc "$t3 - $t2")
printf 'a log of %d lines, %d distinct addresses in %d networks, one loopback registry, pacing off:\n' \
  "$LINES" "$DISTINCT" "$NETS"
printf '  queries made by quorvex-query:      %d (%.3f per distinct address; goal <= 0.15)\n' \
  "$queries" "$(calc "$queries / $DISTINCT")"
[ -n "$located" ] && printf '  the same with the range files:      %d (%.3f per distinct address, the referral chains of blocks\n      the range file places elsewhere included)\n' \
  "$located" "$(calc "$located / $DISTINCT")"
printf '  quorvex-query --json --file LOG:    %7.3f s\n' "$q"
printf '  whois, once per distinct address:   %7.3f s (%d processes)\n' "$w" "$DISTINCT"
printf '  ratio quorvex-query / whois loop:   %.3f (goal <= 0.2)\n' "$(calc "$q / $w")"
printf '  peak memory, %d lines:             %6.1f MiB\n' "$LINES" "$(calc "$m1 / 1024")"
printf '  peak memory, %d lines:            %6.1f MiB (ratio %.3f; goal within 1.2)\n' \
  "$((LINES * 10))" "$(calc "$m10 / 1024")" "$(calc "$m10 / $m1")"
