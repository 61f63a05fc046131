#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole program (sabrel-script) on Windows Me installations kept in disk
# images, without a mount: FAT16 and FAT32, a raw image and a fixed VHD, a
# volume without a partition table and one in a partition made by sfdisk,
# copy and archive backups, each run ended by the restart, which carries out
# WININIT.INI on the image. The logged-on user's profile folder has a 0x5C
# trail byte. Afterwards fsck.fat finds the volume clean, the hives come out
# through mcopy and libcreg reads each with exactly its original keys and
# values, and the backups and the restore batch are on the volume.
# Usage: image_run_test.sh SABREL_SCRIPT SABREL_HIVE LIBCREG_DUMP
set -euo pipefail
SCRIPT=$1
HIVE_TOOL=$2
DUMP=$3
PY=/usr/bin/python3
"$PY" -c 'import pycreg' 2>/dev/null || { echo "SKIP: python3-libcreg is not installed"; exit 77; }
command -v sfdisk >/dev/null || { echo "SKIP: sfdisk is not installed"; exit 77; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export SABREL_RUNTIME_DIR="$WORK/run" MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
export MTOOLSRC="$WORK/mtoolsrc"
printf 'DEFAULT_CODEPAGE=932\n' >"$MTOOLSRC"
mkdir -p "$SABREL_RUNTIME_DIR"
USER_NAME='ソ表'

fail() { echo "FAIL: $*" >&2; exit 1; }

"$HIVE_TOOL" make-machine --me --user "$USER_NAME" --profile "$USER_NAME" --profile Taro \
  --keys 200 "$WORK/machine" >/dev/null
HIVES=(SYSTEM.DAT USER.DAT CLASSES.DAT "Profiles/$USER_NAME/USER.DAT" Profiles/Taro/USER.DAT)
for h in "${HIVES[@]}"; do
  "$PY" "$DUMP" "$WORK/machine/WINDOWS/$h" >"$WORK/$(echo "$h" | tr / _).orig" || fail "dump $h"
done
printf '[Paths]\r\nWinDir=C:\\WINDOWS\r\n' >"$WORK/MSDOS.SYS"

# case: bits container layout mode
run_case() {
  local bits=$1 container=$2 layout=$3 mode=$4
  local name="FAT$bits-$container-$layout-$mode"
  local img="$WORK/$name.img" at="" fsck_file
  local kib=$((bits == 32 ? 40960 : 16384))
  if [ "$layout" = partitioned ]; then
    # One partition at 1 MiB of the FAT's own type, as a DOS FDISK would make it.
    local type=$((bits == 32 ? 12 : 14))
    truncate -s $(((kib + 1024) * 1024)) "$img"
    printf 'label: dos\nstart=2048, type=%x\n' "$type" | sfdisk -q "$img" >/dev/null
    mkfs.fat -F "$bits" --offset 2048 "$img" "$kib" >/dev/null
    at="@@1M"
  else
    mkfs.fat -C -F "$bits" "$img" "$kib" >/dev/null
  fi
  mcopy -s -i "$img$at" "$WORK/machine/WINDOWS" ::/
  mcopy -i "$img$at" "$WORK/MSDOS.SYS" ::/
  if [ "$container" = vhd ]; then
    # A fixed VHD: the disk followed by its 512-byte footer.
    "$PY" - "$img" <<'PY'
import struct, sys
size = __import__("os").path.getsize(sys.argv[1])
footer = bytearray(512)
footer[0:8] = b"conectix"
struct.pack_into(">IIQ", footer, 8, 2, 0x00010000, 0xFFFFFFFFFFFFFFFF)
struct.pack_into(">QQ", footer, 40, size, size)
struct.pack_into(">I", footer, 60, 2)
struct.pack_into(">I", footer, 64, (~sum(footer)) & 0xFFFFFFFF)
open(sys.argv[1], "ab").write(bytes(footer))
PY
  fi
  local unlha
  unlha=$([ "$mode" = copy ] && echo "$WORK/none.so" || echo "")
  SABREL_IMAGE="$img" SABREL_UNLHA_PATH="$unlha" timeout 300 "$SCRIPT" >"$WORK/$name.log" 2>&1 ||
    { cat "$WORK/$name.log" >&2; fail "$name: sabrel-script failed"; }
  grep -q "Sabrel ended." "$WORK/$name.log" || { cat "$WORK/$name.log" >&2; fail "$name: no end"; }
  grep -q "message \[" "$WORK/$name.log" && { cat "$WORK/$name.log" >&2; fail "$name: a message box"; }

  # fsck.fat sees the volume alone.
  fsck_file=$img
  if [ "$layout" = partitioned ]; then
    fsck_file="$WORK/part.img"
    dd if="$img" of="$fsck_file" bs=1M skip=1 count=$((kib / 1024)) status=none
  fi
  local out
  out=$(fsck.fat -n "$fsck_file" 2>&1) || fail "$name: fsck.fat: $out"
  [ "$(echo "$out" | wc -l)" = 2 ] || fail "$name: fsck.fat: $out"

  # The restart took WININIT.INI up and put the rebuilt hive in place.
  mtype -i "$img$at" ::/WINDOWS/WININIT.INI >/dev/null 2>&1 && fail "$name: WININIT.INI is left"
  mtype -i "$img$at" ::/WINDOWS/WININIT.BAK | grep -q "USER.DAT=" || fail "$name: no entry ran"
  mtype -i "$img$at" ::/WINDOWS/HELP/SBRCOVER.BAT >/dev/null || fail "$name: no restore batch"
  for h in "${HIVES[@]}"; do
    local key
    key=$(echo "$h" | tr / _)
    mcopy -n -i "$img$at" "::/WINDOWS/$h" "$WORK/$key.out" || fail "$name: mcopy $h"
    "$PY" "$DUMP" "$WORK/$key.out" >"$WORK/$key.now" || fail "$name: libcreg cannot read $h"
    cmp -s "$WORK/$key.orig" "$WORK/$key.now" || fail "$name: $h lost keys or values"
  done
  # The user's hive was rebuilt and its backup sits beside it.
  cmp -s "$WORK/machine/WINDOWS/Profiles/$USER_NAME/USER.DAT" "$WORK/Profiles_${USER_NAME}_USER.DAT.out" &&
    fail "$name: the user's hive was not replaced"
  local listing
  listing=$(mdir -b -i "$img$at" "::/WINDOWS/Profiles/$USER_NAME/")
  if [ "$mode" = copy ]; then
    mcopy -n -i "$img$at" "::/WINDOWS/Profiles/$USER_NAME/USER.BEF" "$WORK/backup" ||
      fail "$name: no copy backup: $listing"
    cmp -s "$WORK/backup" "$WORK/machine/WINDOWS/Profiles/$USER_NAME/USER.DAT" ||
      fail "$name: the copy backup differs from the hive"
  else
    echo "$listing" | grep -qi "USERBU.EXE" || fail "$name: no archive backup: $listing"
  fi
  rm -f "$img" "$WORK/part.img"
  echo "ok: $name"
}

run_case 16 raw plain copy
run_case 16 vhd partitioned archive
run_case 32 raw partitioned archive
run_case 32 vhd plain copy
