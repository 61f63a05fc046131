#!/usr/bin/env bash
# The stand-in archiver's tests under AddressSanitizer and UndefinedBehavior-
# Sanitizer: the codec, the archive reader and writer, the command line, and
# the shared library through its entry points (the dosbox runs are left to
# the normal test run). Bounded in time; exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build-archiver-asan-check
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DSABREL_SANITIZE=address,undefined \
  -DSABREL_FLTK=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
timeout 900 cmake --build "$BUILD" -j"$(nproc)" --target archiver_test archiver_library_test unlha32
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
timeout 300 "$BUILD/tests/archiver/archiver_test" --gtest_brief=1
timeout 300 "$BUILD/tests/archiver/archiver_library_test" --gtest_brief=1 --gtest_filter='-DosSfx.*'
