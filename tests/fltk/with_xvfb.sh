#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command on a private virtual X display. Exits 77 (the tests' "skipped"
# code) with the reason when Xvfb is not installed.
set -euo pipefail
if ! command -v Xvfb >/dev/null; then
  echo "SKIP: Xvfb is not installed (Debian package xvfb)"
  exit 77
fi
fdfile=$(mktemp)
xvfb=
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$fdfile"' EXIT
# -displayfd picks a free display number and writes it once the server is up.
# A server that then does not take a client (seen on a loaded machine, where a
# display number raced another server's) is replaced, a few times at most.
for attempt in 1 2 3; do
  : >"$fdfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.05
  done
  if [ -s "$fdfile" ]; then
    export DISPLAY=":$(head -n1 "$fdfile")"
    for _ in $(seq 20); do
      xdotool getdisplaygeometry >/dev/null 2>&1 && break 2
      sleep 0.1
    done
  fi
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  if [ "$attempt" = 3 ]; then
    echo "Xvfb did not start" >&2
    exit 1
  fi
done
"$@"
