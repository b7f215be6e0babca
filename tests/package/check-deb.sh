#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The .deb that `make package` built: its control fields and declared dependencies, exactly
# the expected files with root ownership and the usual modes, stripped programs, and what
# the files say once unpacked into a scratch root (dpkg-deb -x): quorvex-query runs from
# there, the desktop file points at the installed paths, the range file is whole, the man
# pages and the AppStream file pass their checkers. lintian, where installed, reports; only
# its errors fail.
# usage: check-deb.sh PACKAGE_BUILD_DIR VERSION
set -u
PKGDIR=${1:?package build folder}; VERSION=${2:?version}
. "$(dirname "$0")/../e2e/checks.sh"
ARCH=$(dpkg --print-architecture)
DEB=$PKGDIR/quorvex_${VERSION}_$ARCH.deb
[ -f "$DEB" ] || { echo "SKIP: no $DEB: run make package first"; exit 77; }
for src in app/main.cpp app/QueryCommand.cpp packaging/CMakeLists.txt; do
  [ "$DEB" -nt "$(dirname "$0")/../../$src" ] || echo "note: $DEB is older than $src: run make package"
done
WORK=$(mktemp -d /tmp/quorvex-deb.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# Control fields.
field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Package)" = quorvex ] && ok "Package: quorvex" || bad "Package: $(field Package)"
[ "$(field Version)" = "$VERSION" ] && ok "Version: $VERSION" || bad "Version: $(field Version)"
[ "$(field Architecture)" = "$ARCH" ] && ok "Architecture: $ARCH" || bad "Architecture: $(field Architecture)"
[ "$(field Section)" = net ] && [ "$(field Priority)" = optional ] && ok "Section net, Priority optional" || bad "Section/Priority"
grep -qE '^[^<]+ <[^@ ]+@[^> ]+>$' <<<"$(field Maintainer)" && ok "Maintainer: $(field Maintainer)" || bad "Maintainer: $(field Maintainer)"
desc=$(field Description)
[ "$(head -1 <<<"$desc" | wc -c)" -le 81 ] && [ "$(wc -l <<<"$desc")" -ge 3 ] && ok "Description: summary and long text" \
  || bad "Description: $desc"
depends=$(field Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
  grep -qE "(^|, )${lib//+/\\+}( |,|$)" <<<"$depends" && ok "depends on $lib" || bad "no $lib in Depends"
done
grep -q 'tor-geoipdb' <<<"$depends" && bad "depends on tor-geoipdb; the range file is in the package"
grep -q 'libqt6test\|libgtest\|libbenchmark' <<<"$depends" && bad "test libraries in Depends: $depends"
[ "$(field Recommends)" = qt6-wayland ] && ok "Recommends: qt6-wayland" || bad "Recommends: $(field Recommends)"

# The file list: paths, owners and modes.
dpkg-deb -c "$DEB" >"$WORK/list"
awk '{ sub(/^\.\//, "/", $6); print $1, $2, $6 }' "$WORK/list" | sort -k3 >"$WORK/got"
{
  for d in /usr/ /usr/bin/ /usr/share/ /usr/share/applications/ /usr/share/doc/ /usr/share/doc/quorvex/ \
           /usr/share/icons/ /usr/share/icons/hicolor/ /usr/share/man/ /usr/share/man/man1/ \
           /usr/share/metainfo/ /usr/share/quorvex/; do echo "drwxr-xr-x root/root $d"; done
  for s in 16 32 48 64; do
    echo "drwxr-xr-x root/root /usr/share/icons/hicolor/${s}x$s/"
    echo "drwxr-xr-x root/root /usr/share/icons/hicolor/${s}x$s/apps/"
    echo "-rw-r--r-- root/root /usr/share/icons/hicolor/${s}x$s/apps/quorvex.png"
  done
  echo "-rwxr-xr-x root/root /usr/bin/quorvex"
  echo "-rwxr-xr-x root/root /usr/bin/quorvex-query"
  for f in applications/quorvex.desktop doc/quorvex/copyright doc/quorvex/changelog.gz man/man1/quorvex.1.gz \
           man/man1/quorvex-query.1.gz metainfo/io.quorvex.Quorvex.metainfo.xml quorvex/Ostrand.dat quorvex/Ostrand6.dat; do
    echo "-rw-r--r-- root/root /usr/share/$f"
  done
} | sort -k3 >"$WORK/want"
if diff -u "$WORK/want" "$WORK/got" >"$WORK/diff"; then ok "file list, owners and modes ($(wc -l <"$WORK/got") entries)"
else bad "file list differs (- expected, + in the package):"; cat "$WORK/diff"; fi

# Unpacked.
ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT" || bad "dpkg-deb -x"
for p in quorvex quorvex-query; do
  file -b "$ROOT/usr/bin/$p" | grep -q 'ELF.*, stripped' && ok "$p is stripped" || bad "$p: $(file -b "$ROOT/usr/bin/$p")"
done
for p in quorvex quorvex-query; do
  missing=$(ldd "$ROOT/usr/bin/$p" 2>&1 | grep 'not found')
  [ -z "$missing" ] && ok "$p: every library found" || bad "$p: $missing"
done
v=$("$ROOT/usr/bin/quorvex-query" --version 2>&1)
[ "$v" = "quorvex-query $VERSION" ] && ok "unpacked quorvex-query --version: $v" || bad "quorvex-query --version: $v"
desk=$ROOT/usr/share/applications/quorvex.desktop
grep -qx 'Exec=/usr/bin/quorvex' "$desk" && grep -qx 'TryExec=/usr/bin/quorvex' "$desk" && grep -qx 'Path=/usr/share/quorvex' "$desk" \
  && ok "desktop file starts /usr/bin/quorvex in /usr/share/quorvex" || { bad "desktop file paths"; cat "$desk"; }
range=$ROOT/usr/share/quorvex/Ostrand.dat
size=$(stat -c %s "$range" 2>/dev/null || echo 0)
[ "$size" -ge 500000 ] && [ $((size % 5)) = 0 ] && ok "range file: $size bytes, whole 5-byte records" || bad "range file size $size"
size=$(stat -c %s "$ROOT/usr/share/quorvex/Ostrand6.dat" 2>/dev/null || echo 0)
[ "$size" -ge 500000 ] && [ $((size % 17)) = 0 ] && ok "IPv6 range file: $size bytes, whole 17-byte records" || bad "IPv6 range file size $size"
for page in quorvex quorvex-query; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$ROOT/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$out" ] && ok "installed $page.1.gz: man --warnings quiet" || bad "installed $page.1.gz: $out"
done
grep -q '/usr/share/quorvex/Ostrand.dat' <(gzip -dc "$ROOT/usr/share/man/man1/quorvex-query.1.gz") \
  && ok "man page names the installed range file" || bad "man page: installed range file path"
out=$(appstreamcli validate --no-net --no-color "$ROOT/usr/share/metainfo/io.quorvex.Quorvex.metainfo.xml" 2>&1); rc=$?
[ $rc = 0 ] && ! grep -qE '^[EW]: ' <<<"$out" && ok "installed metainfo validates" || { bad "installed metainfo:"; echo "$out"; }
grep -q 'tor-geoipdb' "$ROOT/usr/share/doc/quorvex/copyright" && ok "copyright names the range data's source" || bad "copyright"

if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$DEB" >"$WORK/lintian" 2>&1
  echo "lintian findings:"; sed 's/^/  /' "$WORK/lintian"
  errors=$(grep -c '^E: ' "$WORK/lintian")
  [ "$errors" = 0 ] && ok "lintian: no errors ($(grep -c '^[WIP]: ' "$WORK/lintian") other findings)" || bad "lintian: $errors errors"
else
  echo "note: lintian not installed, skipped"
fi

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
