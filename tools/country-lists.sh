#!/bin/sh
# SPDX-License-Identifier: MIT
# Prints the folder that holds Debian's country lists (geoip, geoip6): the installed
# /usr/share/tor when tor-geoipdb is there, otherwise DIR/usr/share/tor, unpacked from the
# package downloaded into DIR (no root needed, and the Tor daemon that the package depends
# on is not installed).
# usage: country-lists.sh DIR
set -eu
dir=${1:?usage: country-lists.sh DIR}
if [ -r /usr/share/tor/geoip ] && [ -r /usr/share/tor/geoip6 ]; then echo /usr/share/tor; exit 0; fi
lists=$(realpath -m "$dir")/usr/share/tor
if [ -r "$lists/geoip" ] && [ -r "$lists/geoip6" ]; then echo "$lists"; exit 0; fi
mkdir -p "$dir"
cd "$dir"
rm -f tor-geoipdb_*.deb
# apt downloads as the unprivileged _apt user where it can; the folder is ours, so as root
# let it write there directly. A machine that never fetched the package lists gets them.
if ! apt-get -qq -o APT::Sandbox::User=root download tor-geoipdb >&2; then
  if [ "$(id -u)" = 0 ]; then apt-get update -qq >&2 && apt-get -qq -o APT::Sandbox::User=root download tor-geoipdb >&2
  else
    echo "make run: Debian's country lists could not be downloaded; install them with: sudo apt-get install tor-geoipdb" >&2
    exit 1
  fi
fi
dpkg-deb -x tor-geoipdb_*.deb .
rm -f tor-geoipdb_*.deb
[ -r "$lists/geoip" ] || { echo "make run: tor-geoipdb held no $lists/geoip" >&2; exit 1; }
echo "$lists"
