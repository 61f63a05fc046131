#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the stand-in archiver as a Windows DLL with MinGW i686 (win32 thread
# model, the same flags as the Windows program) and checks what the program
# relies on: the four entry points exported undecorated, and imports only from
# KERNEL32 and msvcrt, none of them known to be missing on Windows 9x.
# Built straight from the sources, so it does not depend on the rest of the
# cross build. Exits non-zero on failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build-archiver-dll-check
CXX=i686-w64-mingw32-g++-win32
OBJDUMP=i686-w64-mingw32-objdump
for tool in $CXX $OBJDUMP nasm; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
rm -rf "$BUILD" && mkdir -p "$BUILD"

nasm -f bin -o "$BUILD/sfxstub.exe" archiver/sfx/sfxstub.asm
cmake -DINPUT="$BUILD/sfxstub.exe" -DOUTPUT="$BUILD/sfx_stub_data.cpp" -P archiver/sfx/embed.cmake

FLAGS=(-std=c++17 -O2 -Wall -Wextra -Werror -finput-charset=UTF-8 -fexec-charset=CP932
       -DWINVER=0x0400 -D_WIN32_WINNT=0x0400 -D_WIN32_WINDOWS=0x0410 -D_WIN32_IE=0x0401 -I.)
SOURCES=(archiver/crc16.cpp archiver/lh5_encoder.cpp archiver/lh5_decoder.cpp
         archiver/lzh_archive.cpp archiver/command_line.cpp archiver/unlha_core.cpp
         archiver/win32_file_access.cpp archiver/unlha32.cpp common/paths.cpp
         "$BUILD/sfx_stub_data.cpp")
timeout 600 $CXX "${FLAGS[@]}" -shared -s -static-libgcc -static-libstdc++ -Wl,--kill-at \
  -o "$BUILD/unlha32.dll" "${SOURCES[@]}"

status=0
exports=$($OBJDUMP -p "$BUILD/unlha32.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          tail -n +2 | grep -oE '[A-Za-z_@0-9]+$' | sort | tr '\n' ' ')
if [ "$exports" != "Unlha UnlhaCheckArchive UnlhaGetRunning UnlhaGetVersion " ]; then
  echo "unexpected exports: $exports"
  status=1
fi
dlls=$($OBJDUMP -p "$BUILD/unlha32.dll" | awk '/DLL Name:/ {print toupper($3)}' | sort -u | tr '\n' ' ')
if [ "$dlls" != "KERNEL32.DLL MSVCRT.DLL " ]; then
  echo "unexpected imported DLLs: $dlls"
  status=1
fi
missing='_fstat64|_vscprintf|_strtoi64|GetTickCount64|AddVectoredExceptionHandler|TryEnterCriticalSection|InitializeCriticalSectionEx|GetFileSizeEx|MoveFileEx'
bad=$($OBJDUMP -p "$BUILD/unlha32.dll" | grep -E "^\s+[0-9a-f]+\s+[0-9]+\s+($missing)\b" || true)
if [ -n "$bad" ]; then
  echo "imports that Windows 9x lacks:"
  echo "$bad"
  status=1
fi
# Wide-character functions exist on Windows 9x as stubs that fail; the
# runtime that pulls them in falls back when they do. Shown, not refused.
wide=$($OBJDUMP -p "$BUILD/unlha32.dll" | grep -oE "^\s+[0-9a-f]+\s+[0-9]+\s+[A-Za-z]+W$" |
       awk '{print $3}' | tr '\n' ' ' || true)
[ -z "$wide" ] || echo "note: wide-character imports (stubs on Windows 9x): $wide"
echo "unlha32.dll: $(stat -c %s "$BUILD/unlha32.dll") bytes; exports: $exports; imports: $dlls"
exit $status
