#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Two `make package` runs of one commit give the same .debs byte for byte: the ones `make
# package` left in FIRST and a second run into the build folder SECOND (another path, as
# the build folder's path must not show). ccache answers the second run's compiles, so it
# costs the links, the generated files and the archives, which are where times and paths
# creep in; with CCACHE_DISABLE=1 it is a full second build. SECOND stays for the upgrade
# test.
# usage: check-reproducible.sh SOURCE_DIR FIRST_BUILD_DIR SECOND_BUILD_DIR
set -u
SRC=${1:?source folder}; FIRST=${2:?first build folder}; SECOND=${3:?second build folder}
. "$(dirname "$0")/../e2e/checks.sh"
shopt -s nullglob
debs=("$FIRST"/*.deb)
[ ${#debs[@]} -gt 0 ] || { echo "SKIP: no .deb in $FIRST: run make package first"; exit 77; }
# The first run's file times are its SOURCE_DATE_EPOCH; another commit's would differ anyway.
epoch=$(git -C "$SRC" log -1 --format=%ct 2>/dev/null)
first_time=$(dpkg-deb --fsys-tarfile "${debs[0]}" | tar -tv --full-time | awk 'NR == 1 { print $4 " " $5 }')
if [ -n "$epoch" ] && [ "$first_time" != "$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')" ]; then
  echo "SKIP: the .debs in $FIRST are of another commit ($first_time): run make package first"; exit 77
fi

mkdir -p "$SECOND"; log=$SECOND/make-package.log
start=$(date +%s%N)
make -C "$SRC" package PACKAGE_BUILD="$SECOND" JOBS="$(nproc)" >"$log" 2>&1 \
  || { bad "make package into $SECOND failed:"; tail -30 "$log"; exit 1; }
ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "second make package: $ms ms ($(grep -cE 'Building CXX' "$log") compiles, ccache: $(command -v ccache >/dev/null && echo yes || echo no))"

again=("$SECOND"/*.deb)
[ "$(cd "$FIRST" && ls *.deb)" = "$(cd "$SECOND" && ls *.deb)" ] && ok "the same ${#debs[@]} packages" \
  || bad "packages differ: $(cd "$FIRST" && ls *.deb | tr '\n' ' ') vs $(cd "$SECOND" && ls *.deb | tr '\n' ' ')"
for deb in "${debs[@]}"; do
  name=$(basename "$deb")
  if cmp -s "$deb" "$SECOND/$name"; then ok "$name: byte for byte the same"; continue; fi
  bad "$name differs (sources changed since make package? run it again):"
  diff <(ar tv "$deb") <(ar tv "$SECOND/$name") | head
  diff <(dpkg-deb -c "$deb") <(dpkg-deb -c "$SECOND/$name") | head
  diff <(dpkg-deb -I "$deb" md5sums) <(dpkg-deb -I "$SECOND/$name" md5sums)
done

echo "$PASSN passed, $FAIL failed"
[ "$FAIL" = 0 ]
