// SPDX-License-Identifier: MIT
// DOS attributes (read-only, hidden, system, archive, directory) of host files.
//
// On a FAT mount they are the file system's own (the FAT attribute ioctls).
// Elsewhere they are kept in the extended attribute user.sabrel.dosattrib,
// with read-only also mirrored in the write permission: a file without the
// owner's write permission is read-only whatever the attribute says. A file
// that never had attributes set is an archive file, as new files are on
// Windows.
#pragma once

#include <string>

#include "platform/platform.h"

namespace sabrel::platform::offline {

// kInvalidFileAttributes with errno set when the path cannot be examined.
DWORD ReadDosAttributes(const std::string& hostPath);
// Sets R, H, S and A (other bits are ignored). False with errno set; ENOTSUP
// when hidden or system must be kept on a file system that cannot keep them.
bool WriteDosAttributes(const std::string& hostPath, DWORD attributes);

}  // namespace sabrel::platform::offline
