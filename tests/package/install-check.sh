#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The packages on this machine, as a user installs them: first the terminal command alone
# (apt-get install --no-install-recommends), which runs without the range data; then the
# data, and the installed quorvex-query against loopback registries (package-e2e.sh with
# ROOT /); then the tray program. apt-get changelog reads each one's installed changelog.
# apt-get purge then leaves none of their files. Needs root; changes the system, so it runs
# in CI, not in ctest.
# usage: install-check.sh PACKAGE_BUILD_DIR WHOISD
set -euo pipefail
DIR=${1:?package build folder}; WHOISD=${2:?whoisd}
HERE=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" = 0 ] || { echo "install-check: needs root"; exit 1; }
export DEBIAN_FRONTEND=noninteractive
case $DIR in /*|./*) ;; *) DIR=./$DIR ;; esac  # apt-get takes a file only as a path
deb() { ls "$DIR"/"$1"_*.deb; }
PACKAGES="quorvex quorvex-query quorvex-data"
LIST=/tmp/quorvex-installed.list
removed=0
remove() { [ $removed = 1 ] || apt-get purge -y -qq $PACKAGES >/dev/null 2>&1 || true; }
trap remove EXIT
: >"$LIST"
remember() { dpkg -L "$1" | while read -r f; do if [ -f "$f" ]; then echo "$f"; fi; done >>"$LIST"; }
changelog_ok() {  # the installed changelog as apt-get changelog shows it, newest entry first
  local out; out=$(apt-get changelog "$1" 2>&1 || true)
  grep -v '^Get:' <<<"$out" | sed -n 1p | grep -q "^quorvex ($(dpkg-query -W -f='${Version}' "$1"))" \
    || { echo "install-check: apt-get changelog $1 does not start with its version:"; echo "$out" | head -5; exit 1; }
}

apt-get install -y -qq --no-install-recommends "$(deb quorvex-query)"
[ "$(dpkg-query -W -f='${db:Status-Abbrev}' quorvex-query)" = 'ii ' ] \
  && ! dpkg-query -W -f='${db:Status-Abbrev}' quorvex-data 2>/dev/null | grep -q '^ii' \
  || { echo "install-check: quorvex-query was not installed alone"; exit 1; }
echo "quorvex-query alone: $(dpkg-query -W -f='${Version}, Installed-Size ${Installed-Size} KiB, Depends: ${Depends}' quorvex-query)"
[ "$(command -v quorvex-query)" = /usr/bin/quorvex-query ]
quorvex-query --version
[ "$(man -w quorvex-query)" = /usr/share/man/man1/quorvex-query.1.gz ]
changelog_ok quorvex-query
remember quorvex-query

apt-get install -y -qq "$(deb quorvex-data)"
remember quorvex-data
"$HERE/../e2e/package-e2e.sh" "$WHOISD" /

apt-get install -y -qq "$(deb quorvex)"
dpkg-query -W -f='${Package} ${Status} ${Version}\n' $PACKAGES
[ "$(man -w quorvex)" = /usr/share/man/man1/quorvex.1.gz ]
[ -f /usr/share/applications/quorvex.desktop ]
for p in quorvex quorvex-data; do changelog_ok $p; done
remember quorvex
echo "installed $(wc -l <"$LIST") files"

apt-get purge -y -qq $PACKAGES
removed=1
left=0
while read -r f; do
  if [ -e "$f" ]; then echo "left behind: $f"; left=1; fi
done <"$LIST"
if [ -e /usr/share/quorvex ]; then echo "left behind: /usr/share/quorvex"; left=1; fi
for p in $PACKAGES; do
  s=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  if [ -n "$s" ] && [ "$s" != 'unknown ok not-installed' ]; then echo "dpkg still knows $p: $s"; left=1; fi
done
rm -f "$LIST"
[ $left = 0 ] && echo "install-check: installed (the terminal command alone first), queried, removed; nothing left"
exit $left
