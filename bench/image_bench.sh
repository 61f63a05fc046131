#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole program, headless (sabrel-script), on the same Windows Me machine
# kept two ways: as a folder tree, and inside a FAT32 disk image that our own
# FAT engine reads and writes (SABREL_IMAGE). The three hives are fragmented,
# SABREL_BENCH_MB each (default 10); backups are copies, and the run ends with
# the restart. Each way runs SABREL_BENCH_RUNS times (default 3) on a fresh
# copy, and the best times are set side by side: the image's run should take
# at most twice the folder tree's. A benchmark, not a test: not run in CI.
#
#   bench/image_bench.sh [BUILD_DIR]     (default build-bench; a Release build)
# SABREL_BENCH_DIR: an empty scratch folder, kept (default a new one under /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(realpath "${1:-build-bench}")
MB=${SABREL_BENCH_MB:-10}
RUNS=${SABREL_BENCH_RUNS:-3}
cmake --build "$BUILD" -j2 --target sabrel-script sabrel-hive >/dev/null
if [ -n "${SABREL_BENCH_DIR:-}" ]; then
  SCRATCH=$SABREL_BENCH_DIR
  mkdir -p "$SCRATCH"
else
  SCRATCH=$(mktemp -d /tmp/sabrel-image-bench-XXXXXX)
  trap 'rm -rf "$SCRATCH"' EXIT
fi
export MTOOLS_SKIP_CHECK=1 MTOOLSRC="$SCRATCH/mtoolsrc" SABREL_RUNTIME_DIR="$SCRATCH/run"
export SABREL_UNLHA_PATH="$SCRATCH/no-archiver.so"
printf 'DEFAULT_CODEPAGE=932\n' >"$MTOOLSRC"
mkdir -p "$SABREL_RUNTIME_DIR"
MACHINE=$SCRATCH/machine
WIN=$MACHINE/WINDOWS
"$BUILD/sabrel-hive" make-machine --me "$MACHINE" >/dev/null
rm -f "$WIN/SYSTEM.DAT" "$WIN/USER.DAT" "$WIN/CLASSES.DAT"
"$BUILD/sabrel-hive" make --seed 1 --fragmented --orphans 1000 --kana 100 --size "${MB}M" \
  --install-version 4.90.3000 --install-user Guest --install-acp 932 "$WIN/SYSTEM.DAT" >/dev/null
"$BUILD/sabrel-hive" make --seed 2 --fragmented --orphans 1000 --kana 100 --size "${MB}M" \
  "$WIN/USER.DAT" >/dev/null
"$BUILD/sabrel-hive" make --seed 3 --fragmented --orphans 1000 --kana 100 --size "${MB}M" \
  "$WIN/CLASSES.DAT" >/dev/null
KIB=$(( (MB * 3 * 3 + 64) * 1024 ))
mkfs.fat -C -F 32 "$SCRATCH/template.img" "$KIB" >/dev/null
mcopy -s -i "$SCRATCH/template.img" "$WIN" ::/

now() { date +%s.%N; }
best() { sort -n | head -1; }
run_tree() {
  rm -rf "$SCRATCH/tree" && cp -r "$MACHINE" "$SCRATCH/tree" && sync
  local t0 t1
  t0=$(now)
  SABREL_WINDIR="$SCRATCH/tree/WINDOWS" "$BUILD/sabrel-script" >"$SCRATCH/tree.log" 2>&1
  t1=$(now)
  grep -q "Sabrel ended." "$SCRATCH/tree.log" || { cat "$SCRATCH/tree.log"; exit 1; }
  echo "$t1 - $t0" | bc
}
run_image() {
  cp "$SCRATCH/template.img" "$SCRATCH/disk.img" && sync
  local t0 t1
  t0=$(now)
  SABREL_IMAGE="$SCRATCH/disk.img" "$BUILD/sabrel-script" >"$SCRATCH/image.log" 2>&1
  t1=$(now)
  grep -q "Sabrel ended." "$SCRATCH/image.log" || { cat "$SCRATCH/image.log"; exit 1; }
  fsck.fat -n "$SCRATCH/disk.img" >/dev/null || { echo "fsck.fat found damage"; exit 1; }
  echo "$t1 - $t0" | bc
}
TREE=$(for _ in $(seq "$RUNS"); do run_tree; done | best)
IMAGE=$(for _ in $(seq "$RUNS"); do run_image; done | best)
printf 'three hives of %d MB, copy backups, restart; best of %d runs\n' "$MB" "$RUNS"
printf 'folder tree %.2f s; FAT32 image %.2f s; image / tree = %.2fx (target <= 2x)\n' \
  "$TREE" "$IMAGE" "$(echo "$IMAGE / $TREE" | bc -l)"
