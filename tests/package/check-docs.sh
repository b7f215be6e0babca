#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The package's documents as the build makes them: man pages without a groff or man warning
# that document every option quorvex-query's usage names, an AppStream file that
# appstreamcli accepts without a pedantic note, a desktop file that desktop-file-validate
# accepts without a hint, icons of the
# sizes their folders claim, drawn the same on every run.
# usage: check-docs.sh PACKAGING_BUILD_DIR QUORVEX_QUERY DESKTOP_FILE QUORVEX_ASSETS
set -u
DIR=${1:?packaging build folder}; QQ=${2:?quorvex-query}; DESKTOP=${3:?desktop file}; GEN=${4:?quorvex-assets}
. "$(dirname "$0")/../e2e/checks.sh"
need() { command -v "$1" >/dev/null || { echo "SKIP: $1 not found (package $2)"; exit 77; }; }
need groff groff-base; need man man-db; need appstreamcli appstream; need file file

for page in quorvex quorvex-query; do
  src=$DIR/man/$page.1
  [ -s "$src.gz" ] && gzip -dc "$src.gz" | cmp -s - "$src" && ok "$page.1.gz holds $page.1" || bad "$page.1.gz"
  out=$(groff -ww -man -z "$src" 2>&1)
  [ -z "$out" ] && ok "$page.1: groff -ww quiet" || bad "$page.1: groff says: $out"
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$src.gz" 2>&1 >/dev/null)
  [ -z "$out" ] && ok "$page.1: man --warnings quiet" || bad "$page.1: man says: $out"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$src" 2>/dev/null)
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES 'EXIT STATUS' EXAMPLE; do
    grep -qx "$section" <<<"$text" || bad "$page.1: no $section section"
  done
  grep -q '@[A-Z_]*@' "$src" && bad "$page.1: an unreplaced @VARIABLE@"
  grep -qE '^\.I /.+/share/quorvex/Ostrand\.dat$' "$src" && ok "$page.1 names the installed range file" \
    || bad "$page.1: no installed range file path"
done

# Every option the usage text lists is in the man page's OPTIONS section, and every exit
# status the usage names in its EXIT STATUS section.
usage=$("$QQ" --help)
options=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$DIR/man/quorvex-query.1" 2>/dev/null |
          sed -n '/^OPTIONS$/,/^[A-Z]/p')
status=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$DIR/man/quorvex-query.1" 2>/dev/null |
         sed -n '/^EXIT STATUS$/,/^EXAMPLE$/p')
listed=$(grep -oE '^  -(-[a-z][a-z-]*|[a-z])' <<<"$usage" | tr -d ' ' | sort -u)
[ -n "$listed" ] || bad "no options found in quorvex-query --help"
for opt in $listed; do
  grep -qE -- "(^|[ ,])$opt([ ,=]|$)" <<<"$options" && ok "man page documents $opt" \
    || bad "quorvex-query.1 lacks $opt (its usage lists it): add a .TP paragraph under OPTIONS"
done
for code in 0 1 2; do
  grep -qE "^       $code " <<<"$status" && ok "man page explains exit status $code" || bad "exit status $code"
done

# AppStream: no finding at all, pedantic ones included (the id in lower case).
meta=$DIR/io.quorvex.quorvex.metainfo.xml
out=$(appstreamcli validate --pedantic --no-net --no-color "$meta" 2>&1); rc=$?
if [ $rc = 0 ] && ! grep -qE '^[EWIP]: ' <<<"$out"; then ok "appstreamcli validate --pedantic $(basename "$meta")"
else bad "appstreamcli validate (exit $rc):"; echo "$out"; fi
id=$(sed -n 's:^  <id>\(.*\)</id>$:\1:p' "$meta")
[ "$(basename "$meta")" = "$id.metainfo.xml" ] && ok "file name matches the id $id" || bad "metainfo name vs id $id"
launch=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$meta")
[ "$launch" = "$(basename "$DESKTOP")" ] && ok "launchable names $launch" || bad "launchable $launch, desktop file $(basename "$DESKTOP")"

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$DESKTOP" 2>&1)
  [ -z "$out" ] && ok "desktop-file-validate" || bad "desktop-file-validate: $out"
else
  echo "note: desktop-file-validate not found (package desktop-file-utils), desktop file not checked"
fi

for size in 16 32 48; do
  f=$DIR/icons/${size}x$size/quorvex.png
  file -b "$f" | grep -q "^PNG image data, $size x $size, 8-bit/color RGBA" && ok "icon $size px" \
    || bad "icon $size px: $(file -b "$f" 2>&1)"
done

# The generator draws the same bytes again, and refuses sizes it cannot draw.
T=$(mktemp -d /tmp/quorvex-icons.XXXXXX)
for size in 16 32 48; do
  "$GEN" --icon $size "$T/$size.png" && cmp -s "$T/$size.png" "$DIR/icons/${size}x$size/quorvex.png" \
    && ok "icon $size px drawn the same again" || bad "icon $size px differs on a second run"
done
for size in 0 7 257 1000 16x x16 -16 '' ' 16'; do
  "$GEN" --icon "$size" "$T/bad.png" 2>"$T/err"; rc=$?
  [ $rc = 1 ] && grep -q 'icon size must be 8 to 256 pixels' "$T/err" && [ ! -e "$T/bad.png" ] \
    && ok "size '$size' refused" || bad "size '$size': exit $rc, $(cat "$T/err")"
done
"$GEN" --icon 16 "$T/no/such/folder/x.png" 2>"$T/err"; rc=$?
[ $rc = 1 ] && grep -q 'cannot write' "$T/err" && ok "unwritable icon path: exit 1" || bad "unwritable path: exit $rc"
rm -rf "$T"

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
