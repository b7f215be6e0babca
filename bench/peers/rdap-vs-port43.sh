#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One query per process on loopback, quorvex-query --rdap against quorvex-query on port 43:
# the same address, the same answer engine (--json), ARIN's RDAP service (tests/support/
# rdapd.py over TLS, the test's certificate authority in the namespace's store) against
# ARIN's WHOIS server (whoisd). Then --version, whose cost is the libraries loaded, beside
# QQ_BEFORE when given (a build that does not link QtNetwork). hyperfine, RUNS runs each.
# usage: rdap-vs-port43.sh BUILD_DIR
#   env: RUNS=60 ADDR=8.8.8.8 QQ=(the command to measure) QQ_BEFORE=(an earlier build)
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${RUNS:-60}
ADDR=${ADDR:-8.8.8.8}
. "$SRC/tests/e2e/netns.sh"
QQ=${QQ:-$BUILD/app/quorvex-query}
WHOISD=$BUILD/tests/support/whoisd
[ -x "$QQ" ] || ns_skip "$QQ not built"
[ -x "$WHOISD" ] || ns_skip "$WHOISD not built"
command -v hyperfine >/dev/null || ns_skip "hyperfine not installed"
command -v openssl >/dev/null && command -v python3 >/dev/null || ns_skip "needs openssl and python3"
ns_require_root
ns_enter "$0" "$@"

WORK=$(mktemp -d /tmp/quorvex-rdapbench.XXXXXX)
. "$SRC/tests/e2e/rdapns.sh"
trap 'rdap_stop; rdap_untrust; ns_cleanup "$WORK"' EXIT
ns_up "$WORK" "$WHOISD" || exit 1
# Rewritten in place: /etc/hosts is a bind mount of this very file.
{ cat "$WORK/hosts"; rdap_hosts 127.0.1.2; } >"$WORK/hosts.new" && cat "$WORK/hosts.new" >"$WORK/hosts"
rdap_certs "$WORK" && rdap_trust "$WORK" && rdap_start "$WORK" "$SRC/tests/support/rdapd.py" "$SRC/tests/whois/rdap" || exit 1
cd "$WORK" || exit 1
# The range files as the data package installs them, when the build has them.
for f in Ostrand.dat Ostrand6.dat; do [ -f "$BUILD/$f" ] && cp "$BUILD/$f" "$WORK/"; done

# Both reach their server and answer.
"$QQ" --json "$ADDR" | grep -q '"source":"whois"' || { echo "port 43 query failed"; "$QQ" --json "$ADDR"; exit 1; }
"$QQ" --rdap --json "$ADDR" | grep -q '"source":"rdap"' || { echo "RDAP query failed"; "$QQ" --rdap --json "$ADDR"; exit 1; }

hyperfine -N --warmup 3 --runs "$RUNS" --export-json "$WORK/query.json" \
  -n "port 43, --json" "$QQ --json $ADDR" -n "rdap, --json" "$QQ --rdap --json $ADDR"
versions=(-n "version" "$QQ --version")
[ -n "${QQ_BEFORE:-}" ] && [ -x "$QQ_BEFORE" ] && versions+=(-n "version, before" "$QQ_BEFORE --version")
hyperfine -N --warmup 3 --runs "$RUNS" "${versions[@]}"
# Peak memory of one query each.
for args in "--json $ADDR" "--rdap --json $ADDR"; do
  /usr/bin/time -f "peak %M KiB, %e s: quorvex-query $args" "$QQ" $args >/dev/null
done
