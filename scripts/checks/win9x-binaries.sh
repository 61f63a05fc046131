#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows binaries as a Windows 9x machine gets them. Builds sabrel.exe,
# unlha32.dll and the rebuilt runtime's test program (the same release build
# as win32.sh, in build-win32-check) and checks:
#   - every instruction of both binaries runs on a 486 (scripts/win9x/cpu486.py
#     disassembles their code and lists each CMOV, FCOMI, RDTSC, MMX, SSE...
#     with its function and the object it came from), after making sure the
#     check finds each kind in a fixture;
#   - the import check finds a Windows 98, a Vista and a wide-character import
#     in a fixture, and passes QueryPerformanceCounter;
#   - the program's icon (16 and 256 colours, 16x16 and 32x32) and both
#     binaries' version records;
#   - both binaries are stripped;
#   - under Wine, when it is installed: the runtime objects rebuilt for the 486
#     (exceptions, dynamic_cast, containers, thread-local storage, printf).
# Exits non-zero on failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD=$ROOT/build-win32-check
WORK=$BUILD/win9x
LOG=$WORK/check.log
passed=0
failed=0
fail() {
  echo "FAIL: $*"
  failed=$((failed + 1))
}
pass() {
  echo "ok: $*"
  passed=$((passed + 1))
}
for tool in i686-w64-mingw32-gcc-win32 i686-w64-mingw32-objdump cmake ninja python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
mkdir -p "$WORK"
: >"$LOG"

# The same configuration as win32.sh, so that neither rebuilds for the other.
if ! { timeout 300 cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
         -DCMAKE_BUILD_TYPE=Release -DSABREL_TESTS=OFF -DSABREL_FLTK=OFF >>"$LOG" 2>&1 &&
       timeout 900 cmake --build "$BUILD" -j"$(nproc)" --target sabrel unlha32 w9x_runtime_test \
         >>"$LOG" 2>&1; }; then
  tail -n 40 "$LOG"
  echo "FAIL: the Windows build (log: $LOG)"
  exit 1
fi

# --- The instruction check --------------------------------------------------------
i686-w64-mingw32-gcc-win32 -O1 -nostdlib -Wl,-e,_start -o "$WORK/cpu_fixture.exe" \
  tests/win9x/cpu_fixture.c
rc=0
python3 scripts/win9x/cpu486.py "$WORK/cpu_fixture.exe" >"$WORK/cpu_fixture.txt" || rc=$?
found=$(grep -oE ' in _[a-z0-9_]+$' "$WORK/cpu_fixture.txt" | cut -c5- | sort | tr '\n' ' ')
expected="_mmx _p6_cmov _p6_fcomi _p6_long_nop _pentium_cmpxchg8b _pentium_rdtsc _sse _unguarded_cpuid "
[ $rc -eq 1 ] && [ "$found" = "$expected" ] &&
  pass "instruction check: finds each kind in the fixture, passes a guarded CPUID" ||
  fail "instruction check on the fixture (exit $rc): $(cat "$WORK/cpu_fixture.txt")"

for name in sabrel.exe unlha32.dll tests/w9x_runtime_test.exe; do
  image=$BUILD/$name
  symbols=$BUILD/unstripped/$(basename "$name")
  [ -f "$symbols" ] || symbols=$image
  if python3 scripts/win9x/cpu486.py "$image" "$symbols" "${image%.*}.map" >"$WORK/cpu.txt"; then
    pass "$(tail -n 1 "$WORK/cpu.txt")"
  else
    cat "$WORK/cpu.txt"
    fail "$name holds instructions that a 486 lacks"
  fi
done

# --- The import check -------------------------------------------------------------
i686-w64-mingw32-gcc-win32 -O1 -o "$WORK/imports_fixture.exe" tests/win9x/imports_fixture.c
out=$(python3 scripts/win9x/imports.py "$WORK/imports_fixture.exe" || true)
echo "$out" | grep -q 'GetLongPathNameA needs Windows 98' &&
  echo "$out" | grep -q 'GetTickCount64 is not exported' &&
  echo "$out" | grep -q 'CreateFileW is not exported' &&
  ! echo "$out" | grep -q QueryPerformanceCounter &&
  pass "import check: flags the fixture's Windows 98, Vista and wide imports only" ||
  fail "import check on the fixture: $out"

# --- Resources --------------------------------------------------------------------
icons=$(python3 scripts/win9x/resources.py "$BUILD/sabrel.exe" | grep '^icon' | sort | tr '\n' ' ')
[ "$icons" = "icon 16x16 4-bit icon 16x16 8-bit icon 32x32 4-bit icon 32x32 8-bit " ] &&
  pass "sabrel.exe: the icon in 16 and 256 colours at 16x16 and 32x32" ||
  fail "sabrel.exe's icon resource: $icons"
for name in sabrel.exe unlha32.dll; do
  version=$(python3 scripts/win9x/resources.py "$BUILD/$name" | grep '^version' || true)
  echo "$version" | grep -qE "^version [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+ .*OriginalFilename=$name\$" &&
    pass "$name: $version" || fail "$name has no version record ($version)"
done

# --- Stripped ---------------------------------------------------------------------
for name in sabrel.exe unlha32.dll; do
  if i686-w64-mingw32-objdump -h "$BUILD/$name" | grep -qE ' \.debug_| \.stab'; then
    fail "$name carries debugging sections"
  elif [ -n "$(i686-w64-mingw32-nm "$BUILD/$name" 2>/dev/null | head -n 1)" ]; then
    fail "$name carries a symbol table"
  else
    pass "$name is stripped: $(stat -c %s "$BUILD/$name") bytes"
  fi
done

# --- The rebuilt runtime under Wine ---------------------------------------------------
if command -v wine >/dev/null; then
  export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
  # win32.sh's prefix when it is ready, else one of this check's own.
  export WINEPREFIX=$BUILD/wine
  if [ ! -f "$WINEPREFIX/.sabrel-ready" ]; then
    export WINEPREFIX=$WORK/wine
    [ -d "$WINEPREFIX" ] || timeout 120 wineboot -i </dev/null >>"$LOG" 2>&1 || true
  fi
  # Wine's helper processes inherit the descriptors of the first call, so
  # nothing reads a wine call's output through a pipe.
  wineserver -p 2>>"$LOG" || true
  timeout 60 wine cmd /c exit </dev/null >>"$LOG" 2>&1 || true
  rc=0
  timeout 60 wine "$BUILD/tests/w9x_runtime_test.exe" </dev/null >"$WORK/runtime.txt" 2>&1 || rc=$?
  summary=$(tr -d '\r' <"$WORK/runtime.txt" | grep -E '^[0-9]+ passed, [0-9]+ failed$' || true)
  if [ $rc -eq 0 ] && [ -n "$summary" ]; then
    pass "the rebuilt runtime under Wine: $summary"
  else
    tr -d '\r' <"$WORK/runtime.txt" | tail -n 20
    fail "the rebuilt runtime under Wine (exit code $rc)"
  fi
  wineserver -k >/dev/null 2>&1 || true
else
  echo "note: wine is not installed; the rebuilt runtime's test is skipped"
fi

echo "win9x-binaries: $passed passed, $failed failed"
[ $failed -eq 0 ]
