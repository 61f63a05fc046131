// SPDX-License-Identifier: MIT
// The Windows headers as the win32 backend uses them: ANSI API, and without
// the macros that would rename the Ui interface's methods (MessageBox,
// AddForm) in these files only.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: the common controls header needs its types.
#include <commctrl.h>

#undef MessageBox
#undef AddForm
