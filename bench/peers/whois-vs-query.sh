#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Per-query cost over loopback: the same N (200) queries of the same address to the same local
# WHOIS server, by Debian's whois client (-h/-p) and by quorvex-query, wall time of each.
# Then whole processes side by side, PAIRS (20) pairs of one query each (wall, CPU, peak
# memory; with the range files and without them), and --version against --version.
# quorvex-query runs unmodified: inside a private namespace whose hosts file sends
# whois.arin.net to 127.0.0.2, where whoisd answers on port 43.
# Last, hyperfine of one query with both range files (60 runs), beside QQ_BEFORE when given.
# usage: whois-vs-query.sh BUILD_DIR
#   env: N=200 PAIRS=20 ADDR=8.8.8.8 QQ=(the command to measure) QQ_BEFORE=(an earlier build)
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
N=${N:-200}
PAIRS=${PAIRS:-20}
ADDR=${ADDR:-8.8.8.8}
. "$SRC/tests/e2e/netns.sh"
QQ=${QQ:-$BUILD/app/quorvex-query}
WHOISD=$BUILD/tests/support/whoisd
[ -x "$QQ" ] || ns_skip "$QQ not built"
[ -x "$WHOISD" ] || ns_skip "$WHOISD not built"
command -v whois >/dev/null || ns_skip "the whois client is not installed (package whois)"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-bench.XXXXXX)
trap 'ns_cleanup "$WORK"' EXIT
ns_up "$WORK" "$WHOISD" || exit 1
# The range files make the query the real one (location line, registry choice), both of
# them as the data package installs them.
for f in Ostrand.dat Ostrand6.dat; do [ -f "$BUILD/$f" ] && cp "$BUILD/$f" "$WORK/"; done
cd "$WORK" || exit 1

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
# calc EXPR: floating-point arithmetic without bc.
calc() { awk "BEGIN { printf \"%.4f\", $1 }"; }

# Warm both up once and check that they reach the server.
whois -h 127.0.0.2 -p 43 "$ADDR" | grep -q 'answered by whois.arin.net' || { echo "whois client got no reply"; exit 1; }
"$QQ" "$ADDR" >"$WORK/one.txt" || { echo "quorvex-query failed:"; cat "$WORK/one.txt"; exit 1; }
grep -q 'answered by whois.arin.net' "$WORK/one.txt" || { echo "quorvex-query asked the wrong server:"; cat "$WORK/one.txt"; exit 1; }

before=$(ns_queries)
t0=$(now)
for ((i = 0; i < N; i++)); do whois -h 127.0.0.2 -p 43 "$ADDR" >/dev/null || exit 1; done
t1=$(now)
for ((i = 0; i < N; i++)); do "$QQ" "$ADDR" >/dev/null || exit 1; done
t2=$(now)
args=(); for ((i = 0; i < N; i++)); do args+=("$ADDR"); done
"$QQ" "${args[@]}" >"$WORK/all.txt" || exit 1
t3=$(now)
served=$(( $(ns_queries) - before ))
[ "$(grep -c '^Done\.$' "$WORK/all.txt")" = "$N" ] || { echo "quorvex-query in one run did not finish $N queries"; exit 1; }
[ "$served" = $((3 * N)) ] || { echo "server saw $served queries, expected $((3 * N))"; exit 1; }

w=$(elapsed "$t0" "$t1"); q=$(elapsed "$t1" "$t2"); q1=$(elapsed "$t2" "$t3")
printf 'per-query cost, %d queries of %s to one loopback server (wall time):\n' "$N" "$ADDR"
printf '  whois -h -p, one process per query:    %7.3f s  (%6.2f ms/query)\n' "$w" "$(calc "$w*1000/$N")"
printf '  quorvex-query, one process per query: %7.3f s  (%6.2f ms/query)\n' "$q" "$(calc "$q*1000/$N")"
printf '  quorvex-query, all in one process:    %7.3f s  (%6.2f ms/query)\n' "$q1" "$(calc "$q1*1000/$N")"
printf '  ratio quorvex-query / whois: %.2f per process, %.2f in one process (below 1 is faster)\n' \
  "$(calc "$q/$w")" "$(calc "$q1/$w")"

# Whole processes, interleaved. Both resolve whois.arin.net through the same hosts file.
pairs() { python3 "$SRC/bench/peers/process-pairs.py" "$PAIRS" "$@" || exit 1; }
printf '\nwhole processes, one query of %s each, %d pairs (medians):\n' "$ADDR" "$PAIRS"
pairs "whois" "quorvex-query" -- whois -h whois.arin.net -p 43 "$ADDR" -- "$QQ" "$ADDR"
mkdir -p "$WORK/bare"
printf 'the same without range files in the working directory (nothing to search):\n'
(cd "$WORK/bare" && pairs "whois" "quorvex-query, no Ostrand*.dat" -- whois -h whois.arin.net -p 43 "$ADDR" -- "$QQ" "$ADDR")
printf 'start and end only:\n'
pairs "whois --version" "quorvex-query --version" -- whois --version -- "$QQ" --version

if command -v hyperfine >/dev/null; then
  printf '\nhyperfine, one query of %s with both range files:\n' "$ADDR"
  runs=("$QQ $ADDR")
  [ -n "${QQ_BEFORE:-}" ] && runs=("$QQ_BEFORE $ADDR" "${runs[@]}")
  hyperfine -N -w 5 -r 60 "${runs[@]}" 2>&1 | grep -v -e '^ *$' -e 'Warning' || exit 1
fi
