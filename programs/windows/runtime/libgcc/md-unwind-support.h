// SPDX-License-Identifier: MIT
/* Unwinding through Win32 exception frames, as GCC's MinGW build sets it. */
#include "config/i386/w32-unwind.h"
