#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The guard for the Windows program: the portable core must build with the
# MinGW i686 compiler in its win32 thread model (no std::thread, std::mutex
# or POSIX headers there), and no core file may include a host, Windows or
# toolkit header. Exits non-zero on either failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build-mingw-check
status=0

# 1. Includes: the core sees the platform and the UI only through
#    platform/platform.h and ui/ui.h.
forbidden='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]('
forbidden+='windows\.h|win[a-z0-9_]*\.h|commctrl\.h|commdlg\.h|shellapi\.h|shlobj\.h|mmsystem\.h'
forbidden+='|objbase\.h|ole2\.h|tchar\.h|io\.h|direct\.h|process\.h|excpt\.h'
forbidden+='|unistd\.h|fcntl\.h|dirent\.h|dlfcn\.h|iconv\.h|pthread\.h|poll\.h|termios\.h|pwd\.h'
forbidden+='|grp\.h|sched\.h|semaphore\.h|spawn\.h|glob\.h|fnmatch\.h|syslog\.h|sys/|linux/'
forbidden+='|netinet/|arpa/|attr/'
forbidden+='|FL/|X11/|gtk/|Q[A-Za-z]+'
forbidden+='|thread|mutex|shared_mutex|condition_variable|future|iostream|fstream|sstream|istream|ostream'
forbidden+='|platform/offline/|platform/win32/|ui/fltk/|ui/win32/|ui/script/'
forbidden+=')'
core_dirs=()
for d in app rebuild hive options backup creg; do [ -d "$d" ] && core_dirs+=("$d"); done
if [ ${#core_dirs[@]} -gt 0 ]; then
  hits=$(grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' \
    --include='*.c' "$forbidden" "${core_dirs[@]}" || true)
  if [ -n "$hits" ]; then
    echo "Core files include host, Windows or toolkit headers:"
    echo "$hits"
    status=1
  else
    echo "core includes: clean (${core_dirs[*]})"
  fi
fi

# The hive format and the common helpers sit below the platform: they include
# nothing but each other.
hits=$(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' creg common |
  grep -vE '#[[:space:]]*include[[:space:]]*"(common|creg)/' || true)
if [ -n "$hits" ]; then
  echo "Files below the platform include a higher layer:"
  echo "$hits"
  status=1
else
  echo "lowest layers: clean (creg common)"
fi

# 2. The core built by MinGW i686, win32 thread model, CP932 literals.
mkdir -p "$BUILD"
LOG="$BUILD/guard.log"
if ! command -v i686-w64-mingw32-g++-win32 >/dev/null; then
  echo "i686-w64-mingw32-g++-win32 is missing (scripts/setup.sh installs it)"
  exit 1
fi
if timeout 600 cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
     -DSABREL_CORE_ONLY=ON -DSABREL_TESTS=OFF -DSABREL_FLTK=OFF >"$LOG" 2>&1 &&
   timeout 900 cmake --build "$BUILD" -j"$(nproc)" >>"$LOG" 2>&1; then
  echo "MinGW core build: ok ($(cd "$BUILD" && find . -name '*.a' | wc -l) libraries)"
else
  tail -n 40 "$LOG"
  echo "MinGW core build failed (log: $LOG)"
  status=1
fi
exit $status
