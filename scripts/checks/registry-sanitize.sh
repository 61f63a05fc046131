#!/usr/bin/env bash
# Builds the registry engine's tests and sabrel-hive under ASan and UBSan and
# runs them (loader, writer, synthesizer, engine, tool). Bounded to 10 minutes.
# Exits non-zero on any test failure or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build-registry-sanitize-check
cmake -S . -B "$BUILD" -G Ninja -DSABREL_SANITIZE=address,undefined -DSABREL_FLTK=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target registry_test sabrel-hive
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
timeout 600 "$BUILD/tests/registry/registry_test" --gtest_brief=1
