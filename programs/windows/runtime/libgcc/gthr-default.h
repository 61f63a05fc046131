// SPDX-License-Identifier: MIT
/* The win32 thread model, as the installed compilers use it. */
#include "config/i386/gthr-win32.h"
