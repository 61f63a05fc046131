#!/usr/bin/env bash
# Installs what is needed, builds Sabrel, writes the demo Windows 9x machine
# when it is missing and runs the whole program on it: headless, through the
# script backend, printing every page and message box the user would see.
# At its end the program restarts the machine, which puts the rebuilt hives
# in place, as Windows would at its next start.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${SABREL_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
MACHINE=${SABREL_DEMO_MACHINE:-demo-machine}
if [ ! -d "$MACHINE/WINDOWS" ]; then
  "$BUILD/tools/sabrel-hive" make-machine "$MACHINE"
fi
export SABREL_WINDIR="$PWD/$MACHINE/WINDOWS"
echo "=== before"
"$BUILD/tools/sabrel-hive" check "$SABREL_WINDIR/SYSTEM.DAT" "$SABREL_WINDIR/USER.DAT"
echo "=== Sabrel on $SABREL_WINDIR"
"$BUILD/sabrel-script"
echo "=== after the restart"
"$BUILD/tools/sabrel-hive" check "$SABREL_WINDIR/SYSTEM.DAT" "$SABREL_WINDIR/USER.DAT"
