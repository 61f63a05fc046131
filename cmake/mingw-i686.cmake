# SPDX-License-Identifier: MIT
# Cross build for Windows 95/98/Me with Debian's MinGW-w64 i686 compilers in
# their win32 thread model (no std::thread or std::mutex, no winpthread DLL).
# Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SABREL_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SABREL_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${SABREL_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${SABREL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SABREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The Windows headers default to the newest Windows; these keep the API (and
# structure sizes) at what Windows 95 with IE 4 offers.
set(SABREL_WIN9X_DEFINES "-DWINVER=0x0400 -D_WIN32_WINNT=0x0400 -D_WIN32_WINDOWS=0x0410 -D_WIN32_IE=0x0401")
# Windows 98 runs on a 486; the compilers default to the Pentium Pro, whose
# CMOV and FCOMI stop a Pentium MMX, K6 or Cyrix with an illegal instruction.
set(SABREL_WIN9X_CPU "-march=i486 -mtune=pentium")
set(CMAKE_C_FLAGS_INIT "${SABREL_WIN9X_DEFINES} ${SABREL_WIN9X_CPU}")
set(CMAKE_CXX_FLAGS_INIT "${SABREL_WIN9X_DEFINES} ${SABREL_WIN9X_CPU}")
# A fully static runtime: no libgcc, libstdc++ or winpthread DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc")

# Test programs run under Wine when it is installed.
find_program(SABREL_WINE wine)
if(SABREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SABREL_WINE})
endif()
