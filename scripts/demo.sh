#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is needed, builds Sabrel, writes the demo Windows 9x machine
# when it is missing and starts the program `sabrel` on it: the wizard window,
# on the X display in $DISPLAY. Without a display (or with SABREL_HEADLESS=1)
# it runs the whole program headless instead, through the script backend,
# printing every page and message box the user would see.
# Ending a run with the restart button restarts the machine, which puts the
# rebuilt hives in place, as Windows would at its next start.
# The program speaks the user's language: Japanese when the locale (LC_ALL,
# LC_MESSAGES or LANG) is a Japanese one, English otherwise; SABREL_LANG=ja|en
# chooses either. This script passes the locale on as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${SABREL_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
MACHINE=$(realpath -m "${SABREL_DEMO_MACHINE:-demo-machine}")
if [ ! -d "$MACHINE/WINDOWS" ]; then
  "$BUILD/sabrel-hive" make-machine "$MACHINE"
fi
export SABREL_WINDIR="$MACHINE/WINDOWS"
echo "=== before"
"$BUILD/sabrel-hive" check "$SABREL_WINDIR/SYSTEM.DAT" "$SABREL_WINDIR/USER.DAT"
case "${SABREL_LANG:-}" in
  ja | en) lang=$SABREL_LANG ;;
  *) case "${LC_ALL:-${LC_MESSAGES:-${LANG:-}}}" in ja*) lang=ja ;; *) lang=en ;; esac ;;
esac
echo "=== Sabrel on $SABREL_WINDIR (language: $lang)"
if [ -n "${DISPLAY:-}" ] && [ "${SABREL_HEADLESS:-0}" != 1 ]; then
  "$BUILD/sabrel"
else
  [ -n "${DISPLAY:-}" ] || echo "(no X display: DISPLAY is not set, so Sabrel runs headless here;" \
    "on a desktop, or with xvfb-run, the wizard opens as a window)"
  "$BUILD/sabrel-script"
fi
echo "=== after Sabrel"
"$BUILD/sabrel-hive" check "$SABREL_WINDIR/SYSTEM.DAT" "$SABREL_WINDIR/USER.DAT"
