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
# -displayfd picks a free display number and writes it once the server is up.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$fdfile"' EXIT
for _ in $(seq 100); do
  [ -s "$fdfile" ] && break
  sleep 0.05
done
if [ ! -s "$fdfile" ]; then
  echo "Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$fdfile")"
"$@"
