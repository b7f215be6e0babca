# SPDX-License-Identifier: MIT
# What bulk-vs-whois.sh and bulk-rdap.sh share: the log, the port-43 runs they both measure,
# the clock and peak memory. Sourced after tests/e2e/netns.sh, never run on its own (hence
# not *.sh: run-all.sh runs every *.sh beside it).
# Sourcing it with BUILD set gives LINES, DISTINCT and NETS their defaults (10000, 2000,
# 300), QQ (the build's quorvex-query unless set) and WHOISD, and skips (exit 77) where
# they, Debian's whois client or GNU time are missing.
#   bulk_log DIR LINES DISTINCT NETS  DIR/log of LINES sshd-style lines, DIR/log10 of ten times
#                             as many (the same addresses), DIR/distinct.txt (the DISTINCT
#                             addresses in the order first seen), DIR/networks.txt (the NETS
#                             networks of ARIN's space that hold them, as /24 prefixes)
#   bulk_now                  the time in seconds
#   bulk_calc EXPR            EXPR worked out by awk, to three places
#   bulk_peak CMD...          CMD's peak resident memory in KiB (GNU time), its output dropped
#   bulk_port43 QQ LOG OUT DISTINCT  QQ --json --pace 0 --file LOG into OUT, checked (DISTINCT
#                             answers, each a JSON line); sets BULK_SECONDS, BULK_QUERIES (the
#                             queries the namespace's whoisd served meanwhile)
#   bulk_whois_loop FILE      Debian's whois client once per address of FILE, asking 127.0.0.2
#                             (whois.arin.net) so that it sends the bare address rather than
#                             ARIN's flags; sets BULK_SECONDS, BULK_QUERIES

LINES=${LINES:-10000}
DISTINCT=${DISTINCT:-2000}
NETS=${NETS:-300}
QQ=${QQ:-$BUILD/app/quorvex-query}
WHOISD=$BUILD/tests/support/whoisd
[ -x "$QQ" ] || ns_skip "$QQ not built"
[ -x "$WHOISD" ] || ns_skip "$WHOISD not built"
command -v whois >/dev/null || ns_skip "the whois client is not installed (package whois)"
[ -x /usr/bin/time ] || ns_skip "GNU time is not installed (package time)"

bulk_log() {
  python3 - "$2" "$3" "$4" "$1" <<'PY'
import random, sys
lines, distinct, nets, work = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
arin = [3, 4, 6, 7, 8, 9, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 26]
networks = [f"{arin[i % len(arin)]}.{i // len(arin)}.{(7 * i) % 256}" for i in range(nets)]
addresses = [f"{networks[j % nets]}.{j // nets + 1}" for j in range(distinct)]
open(f"{work}/distinct.txt", "w").write("\n".join(addresses) + "\n")
open(f"{work}/networks.txt", "w").write("".join(f"{n}.0/24\n" for n in networks[:min(nets, distinct)]))
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
  [ -s "$1/log" ] && [ -s "$1/networks.txt" ] || { echo "no log made"; return 1; }
}

bulk_now() { date +%s.%N; }
bulk_calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }

bulk_peak() {
  local out
  out=$(mktemp /tmp/quorvex-peak.XXXXXX) || return 1
  /usr/bin/time -f %M -o "$out" "$@" >/dev/null 2>&1 || { rm -f "$out"; return 1; }
  cat "$out"
  rm -f "$out"
}

bulk_port43() {
  local qq=$1 log=$2 out=$3 distinct=$4 before t0 answers
  before=$(ns_queries)
  t0=$(bulk_now)
  "$qq" --json --pace 0 --file "$log" >"$out" 2>/dev/null || { echo "quorvex-query failed"; return 1; }
  BULK_SECONDS=$(bulk_calc "$(bulk_now) - $t0")
  BULK_QUERIES=$(( $(ns_queries) - before ))
  answers=$(wc -l <"$out")
  [ "$answers" = "$distinct" ] || { echo "quorvex-query gave $answers answers, expected $distinct"; return 1; }
  python3 -m json.tool --json-lines "$out" >/dev/null || { echo "the answers are not JSON"; return 1; }
}

bulk_whois_loop() {
  local a before t0
  before=$(ns_queries)
  t0=$(bulk_now)
  while read -r a; do whois -h 127.0.0.2 -p 43 "$a" >/dev/null || { echo "whois failed for $a"; return 1; }; done <"$1"
  BULK_SECONDS=$(bulk_calc "$(bulk_now) - $t0")
  BULK_QUERIES=$(( $(ns_queries) - before ))
}
