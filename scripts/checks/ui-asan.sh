#!/usr/bin/env bash
# Builds the form layer's, the script backend's and the options dialog's tests
# with AddressSanitizer and UndefinedBehaviorSanitizer and runs them. Bounded
# to a few minutes.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build-ui-asan-check
timeout 300 cmake -S . -B "$BUILD" -G Ninja -DSABREL_SANITIZE=address,undefined -DSABREL_FLTK=OFF \
  -DSABREL_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
timeout 900 cmake --build "$BUILD" -j"$(nproc)" --target ui_test options_test
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for t in ui_test options_test; do
  exe=$(find "$BUILD/tests" -type f -name "$t" -perm -u+x | head -n1)
  echo "--- $t under ASan/UBSan"
  timeout 300 "$exe" --gtest_brief=1 || status=1
done
exit $status
