// SPDX-License-Identifier: MIT
// Win32 error codes for host failures, and the per-thread last error.
#pragma once

#include "platform/platform.h"

namespace sabrel::platform::offline {

// The Win32 code that Windows gives for the same failure as `err` (errno).
// ENOENT maps to 2; callers that know a folder on the way is missing use 3.
DWORD Win32FromErrno(int err);

// The calling thread's last error, shared by every offline platform object,
// as Win32 keeps one per thread.
DWORD& ThreadLastError();

}  // namespace sabrel::platform::offline
