// SPDX-License-Identifier: MIT
/* The unwinder and emulated TLS of libgcc, compiled outside GCC's own build:
 * they include the build's generated configuration headers. These stand in
 * for them; -fbuilding-libgcc predefines the target's __LIBGCC_* values. */
#define USED_FOR_TARGET 1
