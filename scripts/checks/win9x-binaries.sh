#!/usr/bin/env bash
# The Windows binaries as a Windows 9x machine gets them: builds sabrel.exe and
# unlha32.dll (the same build as win32.sh, in build-win32-check) and checks
#   - the import check itself, on a fixture that imports one function each
#     from Windows 95, Windows 98, Vista and a wide-character stub.
# Exits non-zero on failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD=$ROOT/build-win32-check
WORK=$BUILD/win9x
status=0
fail() {
  echo "FAIL: $*"
  status=1
}
for tool in i686-w64-mingw32-gcc-win32 i686-w64-mingw32-objdump python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
mkdir -p "$WORK"

# The import check flags exactly the three functions that Windows 95 lacks.
i686-w64-mingw32-gcc-win32 -O1 -o "$WORK/imports_fixture.exe" tests/win9x/imports_fixture.c
out=$(python3 scripts/win9x/imports.py "$WORK/imports_fixture.exe" || true)
echo "$out" | grep -q 'GetLongPathNameA needs Windows 98' &&
  echo "$out" | grep -q 'GetTickCount64 is not exported' &&
  echo "$out" | grep -q 'CreateFileW is not exported' &&
  ! echo "$out" | grep -q QueryPerformanceCounter &&
  echo "import check: flags the fixture's Windows 98, Vista and wide imports only" ||
  fail "import check on the fixture: $out"

exit $status
