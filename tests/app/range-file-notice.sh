#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Both programs say once on standard error that no range file was found, naming where they
# looked, and say nothing when the working directory has one.
# usage: range-file-notice.sh QUORVEX_QUERY QUORVEX DATA_FOLDER
set -u
QQ=$(realpath "${1:?quorvex-query}"); APP=$(realpath "${2:?quorvex}"); DATA=${3:?data folder}
if [ -e "$DATA/Ostrand.dat" ] || [ -e "$DATA/Ostrand6.dat" ]; then
  echo "SKIP: $DATA holds range files"; exit 77
fi
WORK=$(mktemp -d /tmp/quorvex-notice.XXXXXX)
APID=
trap '[ -n "$APID" ] && kill "$APID" 2>/dev/null; rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
FAILED=0
NOTICE="no range file Ostrand.dat or Ostrand6.dat in the working directory or in $DATA: addresses are not located and go to ARIN."
once() {  # FILE LINE WHAT
  if [ "$(grep -cxF -- "$2" "$1")" = 1 ]; then echo "PASS: $3"; else
    echo "FAIL: $3:"; cat "$1"; FAILED=1; fi
}

# An address that cleans to nothing: no query, no network.
"$QQ" '   ' >/dev/null 2>"$WORK/qq.err"
once "$WORK/qq.err" "quorvex-query: $NOTICE" "quorvex-query says it once"

# A runtime folder of its own and no session bus: a tray program already running for this
# user would otherwise take the start over.
mkdir -m 0700 "$WORK/runtime"
env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$WORK/runtime" QT_QPA_PLATFORM=offscreen "$APP" \
  >/dev/null 2>"$WORK/app.err" &
APID=$!
for _ in $(seq 100); do grep -q 'no range file' "$WORK/app.err" && break; sleep 0.1; done
sleep 0.5  # a second line would come at once
kill "$APID"; wait "$APID" 2>/dev/null; APID=
once "$WORK/app.err" "Quorvex: $NOTICE" "the tray program says it once at start"

: >Ostrand6.dat
"$QQ" '   ' >/dev/null 2>"$WORK/qq.err"
if grep -q 'range file' "$WORK/qq.err"; then echo "FAIL: notice with a range file present:"; cat "$WORK/qq.err"; FAILED=1
else echo "PASS: no notice with a range file in the working directory"; fi
exit $FAILED
