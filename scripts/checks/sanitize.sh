#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the whole tree with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test program under them: the parsers (hive checker, registry
# loader, archive reader, INI editor), the platform layer, the forms and the
# whole program. The display and DOS tests run in the normal build only, and
# so does compact's strace sweep: the sanitizers' runtime makes system calls of
# its own (and LeakSanitizer refuses to run under ptrace), which the sweep would
# take for compact's.
# Bounded in time; exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build-sanitize-check
timeout 300 cmake -S . -B "$BUILD" -G Ninja -DSABREL_SANITIZE=address,undefined \
  -DSABREL_FLTK=OFF -DSABREL_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
timeout 1500 cmake --build "$BUILD" -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
# The fault sweeps run in full in the normal build; here a minute of each.
export SABREL_SWEEP_SECONDS="${SABREL_SWEEP_SECONDS:-60}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
timeout 900 ctest --test-dir "$BUILD" -j"$(nproc)" --timeout 300 --output-on-failure \
  -E '^(fltk_|DosSfx\.|CompactFaults\.EverySystemCall)' | tail -n 15
exit "${PIPESTATUS[0]}"
