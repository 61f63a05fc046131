#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# `cmake --install` puts the program, its desktop entry and its icon in place.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "$prefix/bin/sabrel" ] || fail "no bin/sabrel"
entry="$prefix/share/applications/sabrel.desktop"
[ -f "$entry" ] || fail "no desktop entry"
for line in '[Desktop Entry]' 'Type=Application' 'Exec=sabrel %f' 'Icon=sabrel' 'Terminal=false'; do
  grep -qxF "$line" "$entry" || fail "the desktop entry lacks $line"
done
for mime in application/x-raw-disk-image application/x-vhd-disk; do
  grep -q "^MimeType=.*$mime;" "$entry" || fail "the desktop entry does not offer $mime"
done
icon="$prefix/share/icons/hicolor/64x64/apps/sabrel.png"
[ -f "$icon" ] || fail "no icon"
# A PNG of 64 x 64: signature, then the IHDR chunk's width and height.
[ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "the icon is no PNG"
[ "$(dd if="$icon" bs=1 skip=16 count=8 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 0000004000000040 ] ||
  fail "the icon is not 64 x 64"
echo "PASS"
