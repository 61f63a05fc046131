// SPDX-License-Identifier: MIT
/* Nothing: the i386 MinGW target adds no libgcc target headers. */
