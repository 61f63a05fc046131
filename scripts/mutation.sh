#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Mutation check, run on demand (not part of CI). Each file in tests/mutants/
# is a small patch that plants one plausible mistake; its first line says
# which. For each one the script applies the patch, rebuilds incrementally in
# its own build directory, runs the suite without the display, Wine and DOS
# tests, and reports "killed" (some test failed) or "survived". A patch that
# no longer applies is "stale" and one that does not compile is "broken";
# neither counts towards the kill rate. The patch is always reverted, also on
# Ctrl-C.
#
# Usage: scripts/mutation.sh [name-filter]   e.g. scripts/mutation.sh checker
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${SABREL_MUTATION_BUILD_DIR:-build-mutation}
JOBS=${SABREL_MUTATION_JOBS:-2}
# The display and DOS tests drive the backends, which no mutant touches, and
# take minutes; so does the exhaustive fault sweep, whose faults the other
# fault tests reach as well.
EXCLUDE='^(fltk_|DosSfx\.|FaultSweep\.EveryFailure)'
FILTER=${1:-}

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD" -G Ninja -DSABREL_TESTS=ON "${launcher[@]}" >/dev/null || exit 1
echo "Building the unmutated tree..."
if ! cmake --build "$BUILD" -j"$JOBS" >/dev/null; then
  echo "The unmutated tree does not build." >&2
  exit 1
fi
if ! ctest --test-dir "$BUILD" -j"$JOBS" --timeout 300 -E "$EXCLUDE" >/dev/null; then
  echo "The unmutated tree fails its tests; fix that first." >&2
  exit 1
fi

applied=""
revert() {
  if [ -n "$applied" ]; then
    git -C "$ROOT" apply -R "$applied" || echo "Could not revert $applied" >&2
    applied=""
  fi
}
trap revert EXIT
trap 'revert; echo "Interrupted."; exit 130' INT TERM

killed=0 survived=0 stale=0 broken=0
survivors=()
for mutant in tests/mutants/*.patch; do
  [ -e "$mutant" ] || continue
  name=$(basename "$mutant" .patch)
  case "$name" in *"$FILTER"*) ;; *) continue ;; esac
  what=$(head -n 1 "$mutant")
  if ! git apply --check "$mutant" 2>/dev/null; then
    printf '%-34s stale     %s\n' "$name" "$what"
    stale=$((stale + 1))
    continue
  fi
  git apply "$mutant" && applied=$mutant
  if ! cmake --build "$BUILD" -j"$JOBS" >/dev/null 2>&1; then
    result=broken
    broken=$((broken + 1))
  elif ctest --test-dir "$BUILD" -j"$JOBS" --timeout 300 -E "$EXCLUDE" \
      --stop-on-failure >/dev/null 2>&1; then
    result=survived
    survived=$((survived + 1))
    survivors+=("$name")
  else
    result=killed
    killed=$((killed + 1))
  fi
  revert
  printf '%-34s %-9s %s\n' "$name" "$result" "$what"
done

counted=$((killed + survived))
echo "killed $killed, survived $survived, stale $stale, broken $broken"
if [ "$counted" -gt 0 ]; then
  echo "kill rate: $((killed * 100 / counted))% ($killed of $counted)"
fi
for s in "${survivors[@]}"; do echo "survivor: $s"; done
# Leave the build matching the unmutated sources.
cmake --build "$BUILD" -j"$JOBS" >/dev/null 2>&1
[ "$survived" -eq 0 ]
