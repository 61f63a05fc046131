#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Mutation check, run on demand (not part of CI). Each file in tests/mutants/
# is a small patch that plants one plausible mistake; its first line says
# which. For each one the script applies the patch, rebuilds incrementally in
# its own build directory, runs the suite without the display, Wine and DOS
# tests, and reports "killed" (some test failed, named beside it) or
# "survived". A patch that no longer applies ("stale") or no longer compiles
# ("broken") is an error: it is named on stderr, counts towards neither side
# of the kill rate, and makes the script fail. The patch is always reverted,
# also on Ctrl-C.
#
# Every result is appended to a log as soon as it is known, keyed by the
# patch's text and the state of the tree it ran on. --resume takes the results
# the log already holds for the same tree and the same patches, so a long run
# that was stopped carries on where it was; a stopped run prints what it has.
#
# Usage: scripts/mutation.sh [--resume] [name-filter...]
#   scripts/mutation.sh checker writer   mutants whose name contains either
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
ROOT=$(pwd)
BUILD=${SABREL_MUTATION_BUILD_DIR:-build-mutation}
JOBS=${SABREL_MUTATION_JOBS:-2}
LOG=${SABREL_MUTATION_LOG:-$BUILD/mutation-results.log}
# The display and DOS tests drive the backends, which no mutant touches, take
# minutes and, sharing one display with other work, fail now and then, which
# would count as a kill; the exhaustive fault sweep's faults are reached by
# the other fault tests as well.
EXCLUDE='^(fltk_|DosSfx\.|FaultSweep\.EveryFailure)|_xvfb$'

resume=0
filters=()
for arg in "$@"; do
  case "$arg" in
    --resume) resume=1 ;;
    -h | --help)
      sed -n '3,19s/^# \{0,1\}//p' "$0"
      exit 0
      ;;
    -*)
      echo "unknown option $arg" >&2
      exit 2
      ;;
    *) filters+=("$arg") ;;
  esac
done

selected() {
  [ "${#filters[@]}" -eq 0 ] && return 0
  local f
  for f in "${filters[@]}"; do
    case "$1" in *"$f"*) return 0 ;; esac
  done
  return 1
}

# The tree a result belongs to: the commit plus any uncommitted change outside
# the mutants, taken before any patch is applied.
tree_key() {
  {
    git rev-parse HEAD
    git diff HEAD -- . ':(exclude)tests/mutants'
  } | sha1sum | cut -c1-12
}
TREE=$(tree_key)
mkdir -p "$BUILD"
touch "$LOG"
if [ "$resume" -eq 0 ]; then
  : >"$LOG"
fi

# Looks up "name result test" for a key in the log; empty if not there.
logged() {
  awk -v k="$1" '$1 == k { line = $2 " " $3 " " $4 } END { if (line) print line }' "$LOG"
}

start=$SECONDS
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
if [ -n "$(logged "$TREE-baseline")" ]; then
  echo "The unmutated tree passed its tests before (resumed)."
elif ctest --test-dir "$BUILD" -j"$JOBS" --timeout 300 -E "$EXCLUDE" >/dev/null; then
  echo "$TREE-baseline baseline passed -" >>"$LOG"
else
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

killed=0 survived=0 stale=0 broken=0 resumed=0
survivors=() errors=()
summary() {
  local counted=$((killed + survived))
  echo "killed $killed, survived $survived, stale $stale, broken $broken" \
    "($resumed taken from the log), $((SECONDS - start)) s"
  if [ "$counted" -gt 0 ]; then
    echo "kill rate: $((killed * 100 / counted))% ($killed of $counted)"
  fi
  local s
  for s in "${survivors[@]}"; do echo "survivor: $s"; done
  for s in "${errors[@]}"; do echo "error: $s" >&2; done
}
trap revert EXIT
trap 'revert; echo "Interrupted; results so far:"; summary; exit 130' INT TERM

# Runs one applied mutant; prints "result test".
run_mutant() {
  if ! cmake --build "$BUILD" -j"$JOBS" >/dev/null 2>&1; then
    echo "broken -"
  elif ctest --test-dir "$BUILD" -j"$JOBS" --timeout 300 -E "$EXCLUDE" \
    --stop-on-failure >/dev/null 2>&1; then
    echo "survived -"
  else
    local failed
    failed=$(head -n 1 "$BUILD/Testing/Temporary/LastTestsFailed.log" 2>/dev/null | cut -d: -f2)
    echo "killed ${failed:--}"
  fi
}

for mutant in tests/mutants/*.patch; do
  [ -e "$mutant" ] || continue
  name=$(basename "$mutant" .patch)
  selected "$name" || continue
  what=$(head -n 1 "$mutant")
  key="$TREE-$(sha1sum <"$mutant" | cut -c1-12)"
  outcome=$(logged "$key")
  if [ -n "$outcome" ]; then
    resumed=$((resumed + 1))
    outcome=${outcome#* }
  elif ! git apply --check "$mutant" 2>/dev/null; then
    outcome="stale -"
  else
    git apply "$mutant" && applied=$mutant
    outcome=$(run_mutant)
    revert
  fi
  result=${outcome%% *}
  test=${outcome#* }
  [ -n "$(logged "$key")" ] || echo "$key $name $result $test" >>"$LOG"
  case "$result" in
    killed) killed=$((killed + 1)) ;;
    survived)
      survived=$((survived + 1))
      survivors+=("$name")
      ;;
    stale)
      stale=$((stale + 1))
      errors+=("$name no longer applies; refresh it against the code as it now stands")
      ;;
    broken)
      broken=$((broken + 1))
      errors+=("$name no longer compiles; refresh it against the code as it now stands")
      ;;
  esac
  [ "$test" = - ] && test=""
  printf '%-34s %-9s %s%s\n' "$name" "$result" "$what" "${test:+ [$test]}"
done

summary
# Leave the build matching the unmutated sources.
cmake --build "$BUILD" -j"$JOBS" >/dev/null 2>&1
[ "$survived" -eq 0 ] && [ "$stale" -eq 0 ] && [ "$broken" -eq 0 ]
