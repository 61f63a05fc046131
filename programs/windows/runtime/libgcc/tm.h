// SPDX-License-Identifier: MIT
/* The target macros the runtime needs come from -fbuilding-libgcc. Of GCC's
 * defaults (gcc/defaults.h) the unwinder uses one, which the i386 target
 * keeps. */
#define DWARF_REG_TO_UNWIND_COLUMN(REGNO) (REGNO)
