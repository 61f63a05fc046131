#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole program, headless (sabrel-script), with the archiver library
# loaded so that every backup is a self-extracting archive, on a Windows Me
# machine with three fragmented hives of about 30 MB each: SYSTEM.DAT,
# USER.DAT and CLASSES.DAT, in a Windows folder whose path holds 0x5C trail
# bytes. Its real time is set beside copying the
# three hives (with a flush) and packing them with `jlha a`, measured in the
# same run. A benchmark, not a test: not run in CI.
#
#   bench/end_to_end.sh [BUILD_DIR]     (default build-bench; a Release build)
# SABREL_BENCH_MB sets each hive's size in MB (default 30); SABREL_BENCH_DIR
# an empty scratch folder, kept (default a new one under /tmp, removed at the end).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(realpath "${1:-build-bench}")
MB=${SABREL_BENCH_MB:-30}
cmake --build "$BUILD" -j2 --target sabrel-script sabrel-hive unlha32 >/dev/null
if [ -n "${SABREL_BENCH_DIR:-}" ]; then
  SCRATCH=$SABREL_BENCH_DIR
  mkdir -p "$SCRATCH"
else
  SCRATCH=$(mktemp -d /tmp/sabrel-e2e-XXXXXX)
  trap 'rm -rf "$SCRATCH"' EXIT
fi
MACHINE=$SCRATCH/表示ソ能
WIN=$MACHINE/WINDOWS
HIVES=("$WIN/SYSTEM.DAT" "$WIN/USER.DAT" "$WIN/CLASSES.DAT")

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc; }

"$BUILD/sabrel-hive" make-machine --me "$MACHINE" >/dev/null
rm -f "${HIVES[@]}"
"$BUILD/sabrel-hive" make --seed 1 --fragmented --orphans 3000 --kana 200 --size "${MB}M" \
  --install-version 4.90.3000 --install-user Guest \
  --install-acp 932 "${HIVES[0]}" >/dev/null
"$BUILD/sabrel-hive" make --seed 2 --fragmented --orphans 3000 --kana 200 --size "${MB}M" "${HIVES[1]}" >/dev/null
"$BUILD/sabrel-hive" make --seed 3 --fragmented --orphans 3000 --kana 200 --size "${MB}M" "${HIVES[2]}" >/dev/null
TOTAL=$(cat "${HIVES[@]}" | wc -c)
sync

# Copying the three hives, flushed.
mkdir "$SCRATCH/copy"
t0=$(now)
for i in 0 1 2; do cp "${HIVES[$i]}" "$SCRATCH/copy/$i.DAT"; done
sync -f "$SCRATCH/copy/0.DAT"
t1=$(now)
COPY=$(seconds "$t0" "$t1")

# jlha packing the three hives, one archive each as the program makes them.
JLHA=
if command -v jlha >/dev/null; then
  t0=$(now)
  for i in 0 1 2; do (cd "$SCRATCH/copy" && jlha a "$i.LZH" "$i.DAT" >/dev/null 2>&1); done
  sync -f "$SCRATCH/copy/0.LZH"
  t1=$(now)
  JLHA=$(seconds "$t0" "$t1")
fi
rm -rf "$SCRATCH/copy"

# The whole run: check, compact, archive backups, restore batch, restart.
touch "$SCRATCH/start"
t0=$(now)
SABREL_WINDIR=$WIN SABREL_UNLHA_PATH="$BUILD/libunlha32.so" \
  "$BUILD/sabrel-script" >"$SCRATCH/run.log" 2>&1 || {
  cat "$SCRATCH/run.log"
  echo "the run failed" >&2
  exit 1
}
t1=$(now)
RUN=$(seconds "$t0" "$t1")
ARCHIVES=$(find "$WIN" -iname '*.EXE' -newer "$SCRATCH/start" | wc -l)

printf 'three hives, %d bytes in all; archive backups written: %s\n' "$TOTAL" "$ARCHIVES"
printf 'whole run %.2f s; copy %.2f s; whole run / copy = %.2fx\n' "$RUN" "$COPY" \
  "$(echo "$RUN / $COPY" | bc -l)"
if [ -n "$JLHA" ]; then
  printf 'jlha a %.2f s; whole run / jlha = %.2fx\n' "$JLHA" "$(echo "$RUN / $JLHA" | bc -l)"
fi
