#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the rebuild worker's and the program's tests with ThreadSanitizer and
# runs them: the worker thread, the wizard's timer and the message boxes meet
# there. Bounded to a few minutes.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build-tsan-check
cmake -S . -B "$BUILD" -G Ninja -DSABREL_SANITIZE=thread -DSABREL_FLTK=OFF \
  -DSABREL_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
known=$(cmake --build "$BUILD" --target help)
targets=()
for t in rebuild_test app_test; do
  if grep -q "^$t:" <<<"$known"; then targets+=("$t"); fi
done
cmake --build "$BUILD" -j"$(nproc)" --target "${targets[@]}"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
status=0
for t in "${targets[@]}"; do
  exe=$(find "$BUILD/tests" -type f -name "$t" -perm -u+x | head -n1)
  echo "--- $t under ThreadSanitizer"
  timeout 300 "$exe" --gtest_brief=1 || status=1
done
exit $status
