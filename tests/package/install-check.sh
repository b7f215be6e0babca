#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The package on this machine, as a user installs it: apt-get install of the .deb, the
# installed quorvex-query against loopback registries (package-e2e.sh with ROOT /), then
# apt-get purge, after which none of the package's files may be left. Needs root; changes
# the system, so it runs in CI, not in ctest.
# usage: install-check.sh DEB WHOISD
set -euo pipefail
DEB=${1:?deb}; WHOISD=${2:?whoisd}
HERE=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" = 0 ] || { echo "install-check: needs root"; exit 1; }
export DEBIAN_FRONTEND=noninteractive
case $DEB in /*|./*) ;; *) DEB=./$DEB ;; esac  # apt-get takes a file only as a path
removed=0
remove() { [ $removed = 1 ] || apt-get purge -y -qq quorvex >/dev/null 2>&1 || true; }
trap remove EXIT

apt-get install -y -qq "$DEB"
dpkg-query -W -f='${Status} ${Version}\n' quorvex
dpkg -L quorvex | while read -r f; do if [ -f "$f" ]; then echo "$f"; fi; done >/tmp/quorvex-installed.list
echo "installed $(wc -l </tmp/quorvex-installed.list) files"
[ "$(command -v quorvex-query)" = /usr/bin/quorvex-query ]
quorvex-query --version
[ "$(man -w quorvex-query)" = /usr/share/man/man1/quorvex-query.1.gz ]
[ "$(man -w quorvex)" = /usr/share/man/man1/quorvex.1.gz ]
"$HERE/../e2e/package-e2e.sh" "$WHOISD" /

apt-get purge -y -qq quorvex
removed=1
left=0
while read -r f; do
  if [ -e "$f" ]; then echo "left behind: $f"; left=1; fi
done </tmp/quorvex-installed.list
if [ -e /usr/share/quorvex ]; then echo "left behind: /usr/share/quorvex"; left=1; fi
dpkg-query -W quorvex >/dev/null 2>&1 && [ "$(dpkg-query -W -f='${Status}' quorvex)" != 'unknown ok not-installed' ] \
  && { echo "dpkg still knows quorvex: $(dpkg-query -W -f='${Status}' quorvex)"; left=1; }
rm -f /tmp/quorvex-installed.list
[ $left = 0 ] && echo "install-check: installed, queried, removed; nothing left"
exit $left
