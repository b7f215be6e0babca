#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every sentence of the manual pages names the tests that show it (man-sentences.txt): a
# sentence added without a row, a row whose sentence went, and a test that is not there
# (a script check by its name, a GoogleTest by Suite.Name) all fail.
# usage: check-man.sh MAN_DIR TABLE
set -u
MAN=${1:?folder of the built pages}; TABLE=${2:?sentence table}
TESTS=$(cd "$(dirname "$0")/.." && pwd)
. "$TESTS/e2e/checks.sh"
command -v man >/dev/null || { echo "SKIP: man not found (package man-db)"; exit 77; }
WORK=$(mktemp -d /tmp/quorvex-man.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# sentences PAGE: one sentence a line, from DESCRIPTION up to EXAMPLE, each paragraph on one
# line first (a wide page), the tags of .TP paragraphs and the headings dropped.
sentences() {
  LC_ALL=C.UTF-8 MANWIDTH=10000 man -l "$MAN/$1.1" 2>/dev/null | sed -n '/^DESCRIPTION$/,/^EXAMPLE$/p' \
    | grep -vE '^[A-Z][A-Z ]*$' | sed -E 's/^ +//; s/^[0-9] +//' | sed -E 's/\.(”?) +([A-Z“(])/.\1\n\2/g' | grep -E '\.”?$'
}
trim() { local t=${1#"${1%%[! ]*}"}; echo -n "${t%"${t##*[! ]}"}"; }
pages=(); pieces=(); tests=()
while IFS='|' read -r page piece list; do
  case $page in '#'*|'') continue ;; esac
  pages+=("$(trim "$page")"); pieces+=("$(trim "$piece")"); tests+=("$list")
done <"$TABLE"

for page in quorvex quorvex-query; do
  sentences "$page" >"$WORK/$page"
  [ -s "$WORK/$page" ] || { bad "$page.1: no sentences read"; continue; }
  while IFS= read -r sentence; do
    covered=0
    for i in "${!pieces[@]}"; do
      [ "${pages[$i]}" = "$page" ] && [[ "$sentence" == *"${pieces[$i]}"* ]] && { covered=1; break; }
    done
    [ $covered = 1 ] || bad "$page.1 says \"$sentence\" but no row of $(basename "$TABLE") names its test"
  done <"$WORK/$page"
done

for i in "${!pieces[@]}"; do
  page=${pages[$i]}; piece=${pieces[$i]}
  grep -qF -- "$piece" "$WORK/$page" 2>/dev/null || bad "$page.1 no longer says \"$piece\": drop or mend its row"
  IFS=';' read -ra list <<<"${tests[$i]}"
  for t in "${list[@]}"; do
    t=$(trim "$t")
    case $t in
      *:*) file=${t%%:*}; text=${t#*: }
           grep -qF -- "$text" "$TESTS/$file" 2>/dev/null || bad "row \"$piece\": no check \"$text\" in tests/$file" ;;
      *.*) grep -rqE "TEST(_F|_P)?\(${t%%.*}, *${t#*.}\)" "$TESTS" || bad "row \"$piece\": no GoogleTest $t" ;;
      *)   bad "row \"$piece\": \"$t\" is neither FILE: TEXT nor Suite.Name" ;;
    esac
  done
done
rows=${#pieces[@]}
[ "$FAIL" = 0 ] && ok "$(cat "$WORK/quorvex" "$WORK/quorvex-query" | wc -l) sentences of both pages, each with its tests ($rows rows)"
echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
