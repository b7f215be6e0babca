#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The three .debs that `make package` built: their control fields and relations (the
# terminal command's without any GUI library), exactly the expected files in each with root
# ownership and the usual modes, stripped programs without .comment notes, and what the
# files say once unpacked into a scratch root (dpkg-deb -x): quorvex-query runs from there
# and links no GUI library, the desktop file points at the installed paths, the range file
# is whole, IANA's bootstrap files are the source tree's, the copyright file states the
# licence the country list's own header names and IANA's, the changelog holds one stanza for
# each release in NEWS, the man pages and the AppStream file pass their checkers. lintian --pedantic may report only the findings listed below as not
# ours to fix.
# usage: check-deb.sh PACKAGE_BUILD_DIR VERSION NEWS COUNTRY_LIST
set -u
PKGDIR=${1:?package build folder}; VERSION=${2:?version}; NEWS=${3:?NEWS file}; GEOIP=${4:?country list}
. "$(dirname "$0")/../e2e/checks.sh"
ARCH=$(dpkg --print-architecture)
TRAY=$PKGDIR/quorvex_${VERSION}_$ARCH.deb
QUERY=$PKGDIR/quorvex-query_${VERSION}_$ARCH.deb
DATA=$PKGDIR/quorvex-data_${VERSION}_all.deb
for deb in "$TRAY" "$QUERY" "$DATA"; do
  [ -f "$deb" ] || { echo "SKIP: no $deb: run make package first"; exit 77; }
done
for src in app/main.cpp app/QueryCommand.cpp packaging/CMakeLists.txt NEWS; do
  [ "$TRAY" -nt "$(dirname "$0")/../../$src" ] || echo "note: $TRAY is older than $src: run make package"
done
WORK=$(mktemp -d /tmp/quorvex-deb.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
SPLIT="quorvex (<< 2.1.0)"   # the version that moved files out of the one package of 2.0.0

# Control fields. field DEB NAME
field() { dpkg-deb -f "$1" "$2"; }
has() { grep -qE "(^|, )${2//+/\\+}( |,|$)" <<<"$1"; }   # has LIST PACKAGE
for deb in "$TRAY" "$QUERY" "$DATA"; do
  name=$(basename "${deb%%_*}")
  want_arch=$ARCH; [ "$deb" = "$DATA" ] && want_arch=all
  [ "$(field "$deb" Package)" = "$name" ] && [ "$(field "$deb" Version)" = "$VERSION" ] \
    && [ "$(field "$deb" Architecture)" = "$want_arch" ] && ok "$name $VERSION $want_arch" \
    || bad "$name: Package/Version/Architecture $(field "$deb" Package) $(field "$deb" Version) $(field "$deb" Architecture)"
  [ "$(field "$deb" Section)" = net ] && [ "$(field "$deb" Priority)" = optional ] \
    && [ "$(field "$deb" Source)" = quorvex ] && grep -qE '^https://' <<<"$(field "$deb" Homepage)" \
    && grep -qE '^[^<]+ <[^@ ]+@[^> ]+>$' <<<"$(field "$deb" Maintainer)" \
    && ok "$name: Section, Priority, Source, Homepage, Maintainer" || bad "$name: $(dpkg-deb -f "$deb")"
done

depends=$(field "$TRAY" Depends)
echo "quorvex Depends: $depends"
for lib in "quorvex-data (= $VERSION)" libqt6widgets6 libqt6dbus6; do
  grep -qF "$lib" <<<"$depends" && ok "quorvex depends on $lib" || bad "no $lib in quorvex's Depends"
done
recommends=$(field "$TRAY" Recommends)
has "$recommends" quorvex-query && has "$recommends" qt6-wayland && ok "quorvex recommends quorvex-query, qt6-wayland" \
  || bad "quorvex Recommends: $recommends"

depends=$(field "$QUERY" Depends)
echo "quorvex-query Depends: $depends"
echo "quorvex-query Installed-Size: $(field "$QUERY" Installed-Size) KiB"
has "$depends" libqt6core6 && ok "quorvex-query depends on libqt6core6" || bad "no libqt6core6 in quorvex-query's Depends"
# QtNetwork for --rdap (HTTPS through OpenSSL): the one library past QtCore, and no GUI one.
has "$depends" libqt6network6 && ok "quorvex-query depends on libqt6network6" || bad "no libqt6network6 in quorvex-query's Depends"
gui=$(tr ',' '\n' <<<"$depends" | grep -E 'libqt6(gui|widgets|dbus|opengl|xcb)|libgl|libegl|libx11|libxcb|libxkb|libfontconfig|libfreetype|libwayland')
[ -z "$gui" ] && ok "quorvex-query declares no GUI library" || bad "quorvex-query depends on GUI libraries:" $gui
[ "$(field "$QUERY" Recommends)" = "quorvex-data, ca-certificates" ] && ok "quorvex-query recommends quorvex-data, ca-certificates" \
  || bad "quorvex-query Recommends: $(field "$QUERY" Recommends)"
for deb in "$QUERY" "$DATA"; do
  [ "$(field "$deb" Breaks)" = "$SPLIT" ] && [ "$(field "$deb" Replaces)" = "$SPLIT" ] \
    && ok "$(field "$deb" Package) breaks and replaces $SPLIT" || bad "$(field "$deb" Package): Breaks/Replaces"
done
[ -z "$(field "$DATA" Depends)" ] && ok "quorvex-data depends on nothing" || bad "quorvex-data Depends: $(field "$DATA" Depends)"

# File lists: paths, owners and modes. Every package has its doc folder.
list() {  # list DEB: "mode owner path" sorted by path
  dpkg-deb -c "$1" | awk '{ sub(/^\.\//, "/", $6); print $1, $2, $6 }' | sort -k3
}
expect() {  # expect DIRS... -- FILES...  (a trailing * marks an executable)
  local d f
  while [ "$1" != -- ]; do echo "drwxr-xr-x root/root $1"; shift; done; shift
  for f; do
    case $f in *\*) echo "-rwxr-xr-x root/root ${f%\*}" ;; *) echo "-rw-r--r-- root/root $f" ;; esac
  done
}
icons=(); icondirs=()
for s in 16 32 48 64; do
  icondirs+=(/usr/share/icons/hicolor/${s}x$s/ /usr/share/icons/hicolor/${s}x$s/apps/)
  icons+=(/usr/share/icons/hicolor/${s}x$s/apps/quorvex.png)
done
docs() { echo /usr/share/doc/$1/copyright /usr/share/doc/$1/changelog.gz; }
expect /usr/ /usr/bin/ /usr/share/ /usr/share/applications/ /usr/share/doc/ /usr/share/doc/quorvex/ \
       /usr/share/icons/ /usr/share/icons/hicolor/ "${icondirs[@]}" /usr/share/man/ /usr/share/man/man1/ \
       /usr/share/metainfo/ -- '/usr/bin/quorvex*' /usr/share/applications/quorvex.desktop "${icons[@]}" \
       /usr/share/man/man1/quorvex.1.gz /usr/share/metainfo/io.quorvex.quorvex.metainfo.xml $(docs quorvex) \
  | sort -k3 >"$WORK/want.tray"
expect /usr/ /usr/bin/ /usr/share/ /usr/share/doc/ /usr/share/doc/quorvex-query/ /usr/share/man/ \
       /usr/share/man/man1/ -- '/usr/bin/quorvex-query*' /usr/share/man/man1/quorvex-query.1.gz \
       $(docs quorvex-query) | sort -k3 >"$WORK/want.query"
# The range files are the ones packaging/CMakeLists.txt names, a line each.
ranges=$(sed -n 's/^quorvex_range_file(\([^ ]*\) .*/\1/p' "$(dirname "$0")/../../packaging/CMakeLists.txt")
[ -n "$ranges" ] || bad "no range files read from packaging/CMakeLists.txt"
# With them IANA's RDAP bootstrap files, as committed, their README, and the lintian
# override that keeps the README there.
bootstrap="ipv4.json ipv6.json README.md"
expect /usr/ /usr/share/ /usr/share/doc/ /usr/share/doc/quorvex-data/ /usr/share/quorvex/ /usr/share/quorvex/iana-rdap/ \
       /usr/share/lintian/ /usr/share/lintian/overrides/ -- \
       $(printf '/usr/share/quorvex/%s ' $ranges) $(printf '/usr/share/quorvex/iana-rdap/%s ' $bootstrap) \
       /usr/share/lintian/overrides/quorvex-data $(docs quorvex-data) | sort -k3 >"$WORK/want.data"
for part in tray query data; do
  case $part in tray) deb=$TRAY ;; query) deb=$QUERY ;; data) deb=$DATA ;; esac
  list "$deb" >"$WORK/got.$part"
  if diff -u "$WORK/want.$part" "$WORK/got.$part" >"$WORK/diff"; then
    ok "$(basename "$deb"): file list, owners and modes ($(wc -l <"$WORK/got.$part") entries)"
  else bad "$(basename "$deb"): file list differs (- expected, + in the package):"; cat "$WORK/diff"; fi
done

# Unpacked, all three into one root as they install.
ROOT=$WORK/root
for deb in "$TRAY" "$QUERY" "$DATA"; do dpkg-deb -x "$deb" "$ROOT" || bad "dpkg-deb -x $deb"; done
for p in quorvex quorvex-query; do
  file -b "$ROOT/usr/bin/$p" | grep -q 'ELF.*, stripped' && ! readelf -S "$ROOT/usr/bin/$p" | grep -q '\.comment' \
    && ok "$p is stripped, without .comment" || bad "$p: $(file -b "$ROOT/usr/bin/$p"), $(readelf -S "$ROOT/usr/bin/$p" | grep -c comment) .comment"
  missing=$(ldd "$ROOT/usr/bin/$p" 2>&1 | grep 'not found')
  [ -z "$missing" ] && ok "$p: every library found" || bad "$p: $missing"
done
linked=$(ldd "$ROOT/usr/bin/quorvex-query" | grep -E 'libQt6(Gui|Widgets|DBus|OpenGL|XcbQpa)|libGL|libEGL|libX11|libxcb|libxkbcommon|libfontconfig|libfreetype|libwayland' | awk '{print $1}')
[ -z "$linked" ] && ok "quorvex-query links no GUI library" || bad "quorvex-query links GUI libraries:" $linked
v=$("$ROOT/usr/bin/quorvex-query" --version 2>&1)
[ "$v" = "quorvex-query $VERSION" ] && ok "unpacked quorvex-query --version: $v" || bad "quorvex-query --version: $v"
# Without a display (and no platform named) the tray program cannot start: a message and a
# status other than 0, soon; no core file.
(ulimit -c 0; cd "$WORK" && env -i PATH=/usr/bin:/bin HOME="$WORK" XDG_RUNTIME_DIR="$WORK" \
  timeout 20 "$ROOT/usr/bin/quorvex" >"$WORK/nodisplay" 2>&1) 2>/dev/null; rc=$?
[ $rc != 0 ] && [ $rc != 124 ] && [ -s "$WORK/nodisplay" ] && ok "without a display quorvex ends with a message (status $rc)" \
  || { bad "without a display: status $rc"; cat "$WORK/nodisplay"; }
desk=$ROOT/usr/share/applications/quorvex.desktop
grep -qx 'Exec=/usr/bin/quorvex' "$desk" && grep -qx 'TryExec=/usr/bin/quorvex' "$desk" && grep -qx 'Path=/usr/share/quorvex' "$desk" \
  && ok "desktop file starts /usr/bin/quorvex in /usr/share/quorvex" || { bad "desktop file paths"; cat "$desk"; }
range=$ROOT/usr/share/quorvex/Ostrand.dat
size=$(stat -c %s "$range" 2>/dev/null || echo 0)
[ "$size" -ge 500000 ] && [ $((size % 5)) = 0 ] && ok "range file: $size bytes, whole 5-byte records" || bad "range file size $size"
for r in $ranges; do
  grep -qx "Files: \*/$r" "$ROOT/usr/share/doc/quorvex/copyright" && ok "copyright: a paragraph for $r" \
    || bad "copyright: no Files: */$r"
done
size=$(stat -c %s "$ROOT/usr/share/quorvex/Ostrand6.dat" 2>/dev/null || echo 0)
[ "$size" -ge 500000 ] && [ $((size % 17)) = 0 ] && ok "IPv6 range file: $size bytes, whole 17-byte records" || bad "IPv6 range file size $size"
for f in $bootstrap; do
  cmp -s "$ROOT/usr/share/quorvex/iana-rdap/$f" "$(dirname "$0")/../../data/iana-rdap/$f" \
    && ok "iana-rdap/$f is the source tree's" || bad "iana-rdap/$f differs from data/iana-rdap/$f"
done
for page in quorvex quorvex-query; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$ROOT/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$out" ] && ok "installed $page.1.gz: man --warnings quiet" || bad "installed $page.1.gz: $out"
done
meta=$ROOT/usr/share/metainfo/io.quorvex.quorvex.metainfo.xml
out=$(appstreamcli validate --pedantic --no-net --no-color "$meta" 2>&1); rc=$?
[ $rc = 0 ] && ! grep -qE '^[EWIP]: ' <<<"$out" && ok "installed metainfo validates, pedantic findings none" || { bad "installed metainfo:"; echo "$out"; }

# The copyright file: the format's header, the program's licence, and for the range data the
# licence and vendor the country list's own header names, with a paragraph for that licence.
for p in quorvex quorvex-query quorvex-data; do
  cmp -s "$ROOT/usr/share/doc/$p/copyright" "$ROOT/usr/share/doc/quorvex/copyright" || bad "$p's copyright differs from quorvex's"
done
copyright=$ROOT/usr/share/doc/quorvex/copyright
head_field() { sed -n '/^[^#]/q; s/^#[ \t]*'"$1"':[ \t]*//p' "$GEOIP" | head -1; }
licence=$(head_field License); vendor=$(head_field Vendor)
id=${licence// /-}
echo "country list header: Vendor '$vendor', License '$licence'"
[ -n "$licence" ] && [ -n "$vendor" ] || bad "$GEOIP: no Vendor or License in its header"
sed -n 1p "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  && ok "copyright: machine-readable format 1.0" || bad "copyright: Format line"
grep -q '^Files: \*$' "$copyright" && ok "copyright: Files: * (the program)" || bad "copyright: no Files: *"
awk -v id="$id" -v vendor="$vendor" '
  /^Files: \*\/Ostrand\.dat$/ { s = 1; next } s && /^$/ { s = 0 }
  s && $0 == "Copyright: " vendor { c = 1 } s && $0 == "License: " id { l = 1 }
  END { exit !(c && l) }' "$copyright" \
  && ok "copyright: */Ostrand.dat is $vendor's, licence $id, as the list's header says" \
  || { bad "copyright: the range data's paragraph does not name $vendor and $id"; cat "$copyright"; }
# IANA's files: public domain under CC0 1.0, whose text Debian keeps in common-licenses.
awk '
  /^Files: \*\/iana-rdap\/ipv4\.json \*\/iana-rdap\/ipv6\.json$/ { s = 1; next } s && /^$/ { s = 0 }
  s && /^Copyright: Internet Assigned Numbers Authority/ { c = 1 } s && /^License: CC0-1\.0$/ { l = 1 }
  s && / \/usr\/share\/common-licenses\/CC0-1\.0\.$/ { t = 1 }
  END { exit !(c && l && t) }' "$copyright" && [ -f /usr/share/common-licenses/CC0-1.0 ] \
  && ok "copyright: */iana-rdap/ipv4.json and ipv6.json are IANA's, CC0-1.0, text in common-licenses" \
  || bad "copyright: no CC0-1.0 paragraph of IANA's for */iana-rdap/ (or no /usr/share/common-licenses/CC0-1.0)"
grep -qx "License: $id" <(awk 'BEGIN { RS = "" } !/^Files:/' "$copyright") \
  && ok "copyright: a paragraph of the licence $id" || bad "copyright: no License paragraph for $id"
grep -q '^License: other' "$copyright" && bad "copyright still says License: other"

# The changelog: dpkg's own parser reads one stanza for each release in NEWS, newest first.
zcat "$ROOT/usr/share/doc/quorvex/changelog.gz" >"$WORK/changelog"
want=$(sed -n 's/^Quorvex \([0-9.]*\) (.*)$/\1/p' "$NEWS")
got=$(dpkg-parsechangelog -l "$WORK/changelog" --all --format rfc822 2>&1 | sed -n 's/^Version: //p')
[ "$got" = "$want" ] && ok "changelog: a stanza for each release ($(tr '\n' ' ' <<<"$got"))" \
  || bad "changelog versions '$got', NEWS '$want'"

if command -v lintian >/dev/null; then
  # Findings that are not ours to fix:
  #   spelling-error-in-binary addres: the end of "...numeric address." split by the compiler
  #     into 16-byte stores, so "addres" stands alone in the code; the text is right.
  #   hardening-no-fortify-functions: every object is built with -D_FORTIFY_SOURCE=2 -O2;
  #     quorvex's few memcpy/read calls have sizes the compiler cannot know, so none became
  #     a checked call for lintian to see.
  lintian --pedantic -I --tag-display-limit 0 "$TRAY" "$QUERY" "$DATA" 2>&1 | grep -v 'running with root privileges' >"$WORK/lintian"
  echo "lintian --pedantic -I findings:"; sed 's/^/  /' "$WORK/lintian"
  ours=$(grep -E '^[EWIPX]: ' "$WORK/lintian" | grep -vE ': spelling-error-in-binary addres address |: hardening-no-fortify-functions ')
  [ -z "$ours" ] && ok "lintian --pedantic: no finding of ours ($(grep -c '^[EWIP]: ' "$WORK/lintian") known ones)" \
    || { bad "lintian findings to fix:"; echo "$ours"; }
else
  echo "note: lintian not installed, skipped"
fi

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
