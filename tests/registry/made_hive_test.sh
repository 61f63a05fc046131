#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A fragmented 2 MiB hive from bench/make_hive.py, which builds the file from
# the format alone, read by our checker, our dump and libcreg: all must find
# the keys and values the generator reports, before and after our compaction,
# and the generator must repeat itself for one seed.
# Usage: made_hive_test.sh SABREL_HIVE LIBCREG_DUMP MAKE_HIVE
set -euo pipefail
HIVE_TOOL=$1
LIBCREG_DUMP=$2
MAKE_HIVE=$3
PY=/usr/bin/python3
"$PY" -c 'import pycreg' 2>/dev/null || { echo "SKIP: python3-libcreg is not installed"; exit 77; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

made=$("$PY" "$MAKE_HIVE" --size 2 --seed 5 "$WORK/ソ表.dat")
echo "$made"
field() { sed -n "s/.*\b$1=\([0-9]*\).*/\1/p" <<<"$made"; }
keys=$(field keys) values=$(field values) good=$(field good) bad=$(field bad)
[ "$bad" -gt 0 ] && [ "$good" -gt 0 ] || fail "the hive has no ASCII or no double-byte names"

"$PY" "$MAKE_HIVE" --size 2 --seed 5 "$WORK/again.dat" >/dev/null
cmp -s "$WORK/ソ表.dat" "$WORK/again.dat" || fail "one seed made two different hives"

want="{\"file\": \"$WORK/%s\", \"status\": 0, \"good\": $good, \"bad\": $bad, \"ghost\": 0}"
for f in ソ表.dat 能.dat; do
  if [ "$f" = 能.dat ]; then
    "$HIVE_TOOL" compact "$WORK/ソ表.dat" "$WORK/$f" >/dev/null || fail "compact refused the hive"
  fi
  got=$("$HIVE_TOOL" check --json "$WORK/$f") || fail "check of $f: $got"
  # shellcheck disable=SC2059
  [ "$got" = "$(printf "$want" "$f")" ] || fail "check of $f: $got"
  "$HIVE_TOOL" dump "$WORK/$f" >"$WORK/$f.ours"
  "$PY" "$LIBCREG_DUMP" "$WORK/$f" >"$WORK/$f.libcreg" || fail "libcreg rejected $f"
  diff -q "$WORK/$f.ours" "$WORK/$f.libcreg" >/dev/null || fail "our dump and libcreg's differ on $f"
  [ "$(tail -n 1 "$WORK/$f.ours")" = "# keys=$keys values=$values" ] ||
    fail "$f: $(tail -n 1 "$WORK/$f.ours"), made keys=$keys values=$values"
done
cmp -s "$WORK/ソ表.dat.ours" "$WORK/能.dat.ours" || fail "compaction changed the content"
echo "ok: keys=$keys values=$values good=$good bad=$bad before and after compaction"
