# SPDX-License-Identifier: MIT
# Shell helpers for running the real programs against local registries: a private mount and
# network namespace with only loopback, a hosts file of our own that sends the four
# registries' WHOIS server names to 127.0.0.2..5, IANA's and AFRINIC's (which referrals
# name) to 127.0.0.6 and .7, a test host name to 127.0.0.9 and another one to an IPv6
# address only, and whoisd answering on port 43 of each. Nothing can leave the machine.
#
# Source this file, then:
#   ns_require_root                 exit 77 (ctest: skipped) when namespaces are unavailable
#   ns_enter "$0" "$@"              re-run the calling script inside unshare -m -n (once)
#   ns_up DIR WHOISD [whoisd options]  loopback up, hosts file, servers; log in DIR/whoisd.log
#   ns_down                         stop the servers
#   ns_cleanup DIR                  stop them, undo the mounts, remove DIR
# Exported: NS_TEST_HOST (resolves to 127.0.0.9), NS_TEST_HOST6 (has only the IPv6 address
# NS_TEST_ADDR6, written in the hosts file in a longer spelling), NS_QUERY_LOG (one line per
# query served).

NS_TEST_HOST=host.quorvex.test
NS_TEST_HOST6=host6.quorvex.test
NS_TEST_ADDR6=2001:db8::9
NS_PIDS=()

ns_skip() { echo "SKIP: $*"; exit 77; }

ns_require_root() {
  [ "$(id -u)" = 0 ] || ns_skip "needs root for unshare -m -n (run as root or via sudo)"
  command -v unshare >/dev/null || ns_skip "unshare not found (package util-linux)"
  command -v ip >/dev/null || ns_skip "ip not found (package iproute2)"
  unshare -m -n true 2>/dev/null || ns_skip "unshare -m -n is not permitted here (container without CAP_SYS_ADMIN?)"
}

ns_enter() {
  if [ "${QUORVEX_IN_NS:-}" != 1 ]; then
    export QUORVEX_IN_NS=1
    exec unshare -m -n --propagation private bash "$@"
  fi
}

# wait_for TIMEOUT_S CMD...: poll every 0.1 s until CMD succeeds.
wait_for() {
  local t=$1; shift
  local n=$((t * 10))
  while ((n-- > 0)); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

ns_up() {
  local dir=$1 whoisd=$2; shift 2
  ip link set lo up || return 1
  # IPv6 on loopback, as on any desktop, whatever the host's default for new namespaces.
  sysctl -qw net.ipv6.conf.lo.disable_ipv6=0 2>/dev/null
  cat >"$dir/hosts" <<EOF
127.0.0.1 localhost
127.0.0.2 whois.arin.net
127.0.0.3 whois.ripe.net
127.0.0.4 whois.apnic.net
127.0.0.5 whois.lacnic.net
127.0.0.6 whois.iana.org
127.0.0.7 whois.afrinic.net
127.0.0.9 $NS_TEST_HOST
2001:DB8:0:0::9 $NS_TEST_HOST6
EOF
  # No name server can answer in here; say so at once rather than after retries.
  printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$dir/resolv.conf"
  mount --bind "$dir/hosts" /etc/hosts || return 1
  mount --bind "$dir/resolv.conf" /etc/resolv.conf || return 1
  NS_QUERY_LOG=$dir/queries.log
  : >"$NS_QUERY_LOG"
  "$whoisd" --log "$NS_QUERY_LOG" "$@" \
    127.0.0.2:43=whois.arin.net 127.0.0.3:43=whois.ripe.net \
    127.0.0.4:43=whois.apnic.net 127.0.0.5:43=whois.lacnic.net \
    127.0.0.6:43=whois.iana.org 127.0.0.7:43=whois.afrinic.net \
    127.0.0.9:43=$NS_TEST_HOST >"$dir/whoisd.log" 2>&1 &
  NS_PIDS+=($!)
  wait_for 10 sh -c "[ \$(grep -c listening '$dir/whoisd.log') -ge 7 ]" || {
    echo "whoisd did not start:"; cat "$dir/whoisd.log"; return 1; }
}

ns_down() {
  local p
  for p in "${NS_PIDS[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${NS_PIDS[@]}"; do wait "$p" 2>/dev/null; done
  NS_PIDS=()
}

# ns_cleanup DIR: stop the servers, drop the bind mounts (ns_up may have stacked several),
# remove DIR.
ns_cleanup() {
  ns_down
  while umount /etc/hosts 2>/dev/null; do :; done
  while umount /etc/resolv.conf 2>/dev/null; do :; done
  rm -rf "$1"
}

# ns_queries: the number of queries the servers have received so far.
ns_queries() { wc -l <"$NS_QUERY_LOG"; }
