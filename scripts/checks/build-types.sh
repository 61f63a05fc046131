#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every build type a developer may pick must compile: the optimiser's
# warnings (-Werror) differ between -O0 and -O3, so Debug and Release are
# configured and built next to the default build. Only compiled, not run; the
# default build runs the tests.
set -euo pipefail
cd "$(dirname "$0")/../.."
for type in Debug Release; do
  build="build-check-${type,,}"
  echo "--- $type"
  start=$SECONDS
  timeout 120 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DSABREL_TESTS=ON \
    >/dev/null
  if ! timeout 900 cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1; then
    grep -v '^\[[0-9]*/[0-9]*\] ' "$build/build.log" | tail -n 40
    echo "$type does not build"
    exit 1
  fi
  echo "$type built in $((SECONDS - start)) s"
done
