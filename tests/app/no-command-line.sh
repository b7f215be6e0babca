#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The program reads no command line, Qt's own options included. Started with options that
# Qt would act on (an unknown platform plugin makes Qt abort, an unknown style makes it
# complain), it runs on the platform of the environment until it is stopped, and nothing
# of the options shows in its output.
# usage: no-command-line.sh QUORVEX
set -u
APP=$(realpath "${1:?quorvex}")
WORK=$(mktemp -d /tmp/quorvex-args.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
# A runtime folder and no session bus of its own: a program the user runs meanwhile must not
# take this start over.
mkdir -m 700 "$WORK/xdg"
export XDG_RUNTIME_DIR=$WORK/xdg
unset DBUS_SESSION_BUS_ADDRESS
QT_QPA_PLATFORM=offscreen timeout -s TERM 5 "$APP" -platform bogus-platform -style bogus-style -reverse \
  >"$WORK/out.log" 2>&1
rc=$?
if [ "$rc" != 124 ]; then
  echo "FAIL: the program ended by itself (status $rc) instead of running until stopped:"
  cat "$WORK/out.log"; exit 1
fi
if grep -q bogus "$WORK/out.log"; then
  echo "FAIL: the program acted on its command line:"; cat "$WORK/out.log"; exit 1
fi
echo "PASS: the command line was ignored; the program ran until stopped"
