#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Upgrades, in a scratch dpkg database (dpkg --root; the machine's packages are untouched):
#  - from the one quorvex package of 2.0.0 (a stand-in with its file list) to the three of
#    this build: the files that moved to quorvex-query and quorvex-data change owner without
#    dpkg refusing to overwrite them, and files no package has any more go;
#  - from this build to a next version, built into SECOND (the reproducibility test's folder)
#    from release notes with one more entry: apt-get changelog, reading the installed file,
#    shows that entry, and dpkg-parsechangelog --since the old version shows it alone.
# usage: check-upgrade.sh SOURCE_DIR FIRST_BUILD_DIR SECOND_BUILD_DIR
set -u
SRC=${1:?source folder}; FIRST=${2:?first build folder}; SECOND=${3:?second build folder}
. "$(dirname "$0")/../e2e/checks.sh"
[ "$(id -u)" = 0 ] || { echo "SKIP: dpkg needs root, even for a scratch database"; exit 77; }
ARCH=$(dpkg --print-architecture)
VERSION=$(sed -n 's/^Quorvex \([0-9.]*\) (.*)$/\1/p' "$SRC/NEWS" | head -1)
debs=("$FIRST/quorvex_${VERSION}_$ARCH.deb" "$FIRST/quorvex-query_${VERSION}_$ARCH.deb" "$FIRST/quorvex-data_${VERSION}_all.deb")
for deb in "${debs[@]}"; do [ -f "$deb" ] || { echo "SKIP: no $deb: run make package first"; exit 77; }; done
WORK=$(mktemp -d /tmp/quorvex-upgrade.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
chmod 755 "$WORK"   # apt's download methods read the installed changelog as the user _apt

R=$WORK/root
mkdir -p "$R"/var/lib/dpkg/{info,updates,triggers} "$R"/etc/apt/{apt.conf.d,preferences.d,sources.list.d} \
         "$R"/var/lib/apt/lists/partial "$R"/var/cache/apt/archives/partial
touch "$R/var/lib/dpkg/status" "$R/var/lib/dpkg/available" "$R/etc/apt/sources.list"
# Dependencies on the machine's libraries are not in this database: only they are forced.
dpkgr() { dpkg --root="$R" --force-depends "$@"; }
owner() { dpkg --root="$R" -S "$1" 2>/dev/null | sed 's/: .*//'; }

# 2.0.0 as it was: one package holding both programs, the range file and the documents.
old=$WORK/old
while read -r f; do mkdir -p "$old/$(dirname "$f")"; echo "quorvex 2.0.0: $f" >"$old/$f"; done <<'EOF'
usr/bin/quorvex
usr/bin/quorvex-query
usr/share/quorvex/Ostrand.dat
usr/share/applications/quorvex.desktop
usr/share/icons/hicolor/64x64/apps/quorvex.png
usr/share/metainfo/io.quorvex.Quorvex.metainfo.xml
usr/share/man/man1/quorvex.1.gz
usr/share/man/man1/quorvex-query.1.gz
usr/share/doc/quorvex/copyright
usr/share/doc/quorvex/changelog.gz
EOF
mkdir -p "$old/DEBIAN"
printf 'Package: quorvex\nVersion: 2.0.0\nArchitecture: %s\nMaintainer: Quorvex developers <quorvex@example.org>\nDescription: the single package of 2.0.0\n two programs and the range file\n' \
  "$ARCH" >"$old/DEBIAN/control"
dpkg-deb --root-owner-group -b "$old" "$WORK/quorvex_2.0.0.deb" >/dev/null || { bad "building the 2.0.0 stand-in"; exit 1; }
dpkgr -i "$WORK/quorvex_2.0.0.deb" >"$WORK/log" 2>&1 && ok "2.0.0 stand-in installed" || { bad "2.0.0 stand-in"; cat "$WORK/log"; }

# As apt does it: unpacked one by one, what is depended on first (so quorvex-data meets the old
# quorvex still holding the range file), the packages they break deconfigured; then set up.
rc=0
: >"$WORK/log"
for i in 2 1 0; do dpkgr --auto-deconfigure --unpack "${debs[$i]}" >>"$WORK/log" 2>&1 || rc=$?; done
dpkgr --configure -a >>"$WORK/log" 2>&1 || rc=$?
[ $rc = 0 ] && ! grep -q 'trying to overwrite' "$WORK/log" && ok "the three $VERSION packages install over 2.0.0" \
  || { bad "upgrade from 2.0.0: exit $rc"; cat "$WORK/log"; }
for pair in /usr/bin/quorvex=quorvex /usr/bin/quorvex-query=quorvex-query \
            /usr/share/man/man1/quorvex-query.1.gz=quorvex-query /usr/share/quorvex/Ostrand.dat=quorvex-data; do
  [ "$(owner "${pair%=*}")" = "${pair#*=}" ] && ok "${pair%=*} now belongs to ${pair#*=}" \
    || bad "${pair%=*} belongs to '$(owner "${pair%=*}")'"
done
grep -q 'quorvex 2.0.0' "$R/usr/bin/quorvex-query" "$R/usr/share/quorvex/Ostrand.dat" 2>/dev/null \
  && bad "a file of 2.0.0 was kept" || ok "the moved files hold the new contents"
[ ! -e "$R/usr/share/metainfo/io.quorvex.Quorvex.metainfo.xml" ] && [ -e "$R/usr/share/metainfo/io.quorvex.quorvex.metainfo.xml" ] \
  && ok "the AppStream file under its old id went, the new one came" || bad "AppStream files after the upgrade"
[ "$(dpkg-query --admindir="$R/var/lib/dpkg" -W -f='${db:Status-Abbrev}${Version} ' quorvex quorvex-query quorvex-data)" \
  = "ii $VERSION ii $VERSION ii $VERSION " ] && ok "all three installed at $VERSION" || bad "states after the upgrade"

# The next version: one more entry on top of the release notes, the rest as they are.
NEXT=$(awk -F. '{ print $1 "." $2 "." $3 + 1 }' <<<"$VERSION")
DATE=$(sed -n 's/^Quorvex [0-9.]* (\(.*\))$/\1/p' "$SRC/NEWS" | head -1)
LINE="A release made by the upgrade test, $NEXT over $VERSION."
awk -v head="Quorvex $NEXT ($DATE)" -v item="  * $LINE" \
  '!done && /^Quorvex [0-9]/ { print head; print ""; print item; print ""; done = 1 } { print }' \
  "$SRC/NEWS" >"$WORK/NEWS"
make -C "$SRC" package PACKAGE_BUILD="$SECOND" PACKAGE_NEWS="$WORK/NEWS" JOBS="$(nproc)" >"$WORK/make.log" 2>&1 \
  || { bad "make package with the next release notes:"; tail -30 "$WORK/make.log"; exit 1; }
next=("$SECOND/quorvex_${NEXT}_$ARCH.deb" "$SECOND/quorvex-query_${NEXT}_$ARCH.deb" "$SECOND/quorvex-data_${NEXT}_all.deb")
dpkgr -i "${next[@]}" >"$WORK/log" 2>&1 && ok "$NEXT installs over $VERSION" || { bad "$NEXT over $VERSION"; cat "$WORK/log"; }

apt_r() { apt-get -o Dir="$R" -o Dir::State::status="$R/var/lib/dpkg/status" -o Dir::Etc::main=/dev/null \
                  -o Debug::NoLocking=1 "$@"; }
for p in quorvex quorvex-query quorvex-data; do
  apt_r changelog "$p" >"$WORK/changes" 2>&1
  head -1 <(grep -v '^Get:' "$WORK/changes") | grep -qx "quorvex ($NEXT) unstable; urgency=medium" \
    && grep -qF "$LINE" "$WORK/changes" && ok "apt-get changelog $p: the $NEXT entry on top" \
    || { bad "apt-get changelog $p:"; head -8 "$WORK/changes"; }
  since=$(zcat "$R/usr/share/doc/$p/changelog.gz" | dpkg-parsechangelog -l - --since "$VERSION" --format rfc822 2>&1)
  [ "$(sed -n 's/^Version: //p' <<<"$since")" = "$NEXT" ] && grep -qF "$LINE" <<<"$since" \
    && ok "$p: the changes since $VERSION are the $NEXT entry alone" || { bad "$p since $VERSION:"; echo "$since"; }
done

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
