// SPDX-License-Identifier: MIT
// The file access the exported entry points use: on Linux the offline
// system's (DOS paths through SABREL_WINDIR, and host paths), on Windows the
// Win32 ANSI file functions. Made fresh per call.
#pragma once

#include <memory>

#include "archiver/file_access.h"

namespace sabrel::archiver {

std::unique_ptr<FileAccess> MakeLibraryFiles();

}  // namespace sabrel::archiver
