#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds every fuzz target in fuzz/ with clang under ASan and UBSan and runs
# each for a bounded time (SABREL_FUZZ_SECONDS, 45 by default) from a small
# seed corpus of hive files written below. Exits non-zero when a target finds
# a crash, a leak, undefined behaviour or a hang.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build-fuzz-check
SECONDS_EACH=${SABREL_FUZZ_SECONDS:-45}

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DSABREL_FUZZ=ON \
  -DSABREL_SANITIZE=address,undefined -DSABREL_FLTK=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target fuzzers

# Seeds: a small valid hive and variants of it (free records, a double-byte
# name, a ghost key, a link cycle, a block size of 0). Every target gets them,
# plus fuzz/seeds/<target>/ when that folder exists.
SEEDS="$BUILD/seeds/hive"
rm -rf "$SEEDS" && mkdir -p "$SEEDS"
/usr/bin/python3 - "$SEEDS" <<'PY'
import os, struct, sys
out = sys.argv[1]

def hive(names, cycle=False, block_size_zero=False):
    area = 0x100
    keys = len(names)
    b = bytearray(0x20 + area)
    b[0:4] = b"CREG"
    struct.pack_into("<IiIHHI", b, 4, 0x10000, 0x20 + area, 0, 1, 0x20, 0x10000)
    struct.pack_into("<4sIiIIIII", b, 0x20, b"RGKN", area, 0x20, 0xFFFFFFFF, 8, 0, 0, 0)
    records = bytearray()
    for i, (name, h) in enumerate(names):
        rec = 20 + len(name) + 4
        records += struct.pack("<iHHIHHI", rec, i, 0, 20 + len(name), len(name), 0, 0) + name + b"\0" * 4
    records += struct.pack("<iHHIHHI", 0x20, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0, 0, 0) + b"\0" * 12
    size = 0 if block_size_zero else 0x20 + len(records)
    block = struct.pack("<4siIHHIHHII", b"RGDB", size, 0x20, 8, 0, 0xFFFFFFFF, keys, keys, 0, 0) + records
    # Root, then the keys as a chain of children.
    ent = [0x20 + 28 * i for i in range(keys + 1)]
    for i in range(keys + 1):
        parent = ent[i - 1] if i else -1
        child = ent[i + 1] if i < keys else (ent[1] if cycle else -1)
        h, kid, blk = (0, 0xFFFF, 0xFFFF) if i == 0 else (names[i - 1][1], i - 1, 0)
        struct.pack_into("<IIIiiiHH", b, 0x20 + ent[i], 0, h, 0xFFFFFFFF, parent, child, -1, kid, blk)
    return bytes(b) + block

def s(name):
    return sum(c - 0x20 if 0x61 <= c <= 0x7A else c for c in name if c < 0x80)

plain = [(n, s(n)) for n in (b"Software", b"Classes", b"abc")]
seeds = {
    "plain": hive(plain),
    "sjis": hive(plain + [(b"\x82\xa0\x83\x41", 2 + 0x20 + 3 + 0xC1)]),
    "ghost": hive([(b"abc", 197)]),
    "cycle": hive(plain, cycle=True),
    "zero": hive(plain, block_size_zero=True),
}
for k, v in seeds.items():
    with open(os.path.join(out, k + ".dat"), "wb") as f:
        f.write(v)
PY

status=0
targets=$(find "$BUILD/fuzz" -maxdepth 1 -type f -perm -u+x -name '*_fuzz' | sort)
[ -n "$targets" ] || { echo "no fuzz targets were built"; exit 1; }
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for exe in $targets; do
  name=$(basename "$exe")
  corpus="$BUILD/corpus/$name"
  mkdir -p "$corpus"
  extra=()
  [ -d "fuzz/seeds/$name" ] && extra+=("fuzz/seeds/$name")
  echo "--- $name for ${SECONDS_EACH}s"
  if ! timeout $((SECONDS_EACH + 120)) "$exe" -max_total_time="$SECONDS_EACH" -timeout=10 \
      -rss_limit_mb=2560 -max_len=8192 -print_final_stats=1 \
      -artifact_prefix="$BUILD/$name-" "$corpus" "$SEEDS" "${extra[@]}" 2>"$BUILD/$name.log"; then
    tail -n 60 "$BUILD/$name.log"
    echo "FAILED: $name (log: $BUILD/$name.log)"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb|cov:" "$BUILD/$name.log" | tail -n 3
  fi
done
exit $status
