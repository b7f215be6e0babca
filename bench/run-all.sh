#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every benchmark program found in a build directory, then the side-by-side scripts of
# bench/peers/, and prints their figures. usage: bench/run-all.sh [BUILD_DIR]
# The programs run with the build directory as working directory, where Ostrand.dat lives.
set -u
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-build}" 2>/dev/null && pwd) || { echo "run-all: no build directory ${1:-build}"; exit 2; }
cd "$BUILD" || exit 2

if [ ! -f Ostrand.dat ] && [ -x tools/ostrand-build/ostrand-build ]; then
  tools/ostrand-build/ostrand-build /usr/share/tor/geoip Ostrand.dat || true
fi

FAILED=()
echo "== benchmark programs in $BUILD/bench"
while IFS= read -r prog; do
  echo
  echo "== $prog"
  "$prog" || FAILED+=("$prog")
done < <(find bench -type f -executable ! -path '*/CMakeFiles/*' ! -name '*.sh' 2>/dev/null | sort)

for script in "$SRC"/bench/peers/*.sh; do
  [ -f "$script" ] || continue
  echo
  echo "== $(basename "$script")"
  rc=0
  bash "$script" "$BUILD" || rc=$?
  # 77: the machine can't run it (no root, no Xvfb, ...); the script said why.
  [ $rc = 0 ] || [ $rc = 77 ] || FAILED+=("$script")
done

echo
if [ ${#FAILED[@]} -gt 0 ]; then
  echo "run-all: failed: ${FAILED[*]}"
  exit 1
fi
echo "run-all: done"
