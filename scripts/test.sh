#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is needed, builds everything and runs every test through CTest.
# Extra checks (the MinGW guard build, sanitizer and fuzz runs) live in
# scripts/checks/*.sh; each one runs with a bounded time and must exit 0.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --with-wine
BUILD=${SABREL_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DSABREL_TESTS=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
failed=0
for check in scripts/checks/*.sh; do
  [ -e "$check" ] || continue
  echo "=== $check"
  if ! bash "$check"; then
    echo "FAILED: $check"
    failed=1
  fi
done
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" --timeout 600 || failed=1
exit $failed
