// SPDX-License-Identifier: MIT
// The file store of a host folder tree: DOS paths mapped onto host paths
// component by component (see dos_paths.h). Internal to platform/offline.
#pragma once

#include <memory>
#include <string>

#include "platform/offline/dos_paths.h"
#include "platform/offline/file_store.h"

namespace sabrel::platform::offline {

// `paths` and `hostWindowsDirectory` must outlive the store; the store reads
// them at every call, so that they may be set after it is made.
std::unique_ptr<FileStore> MakeHostStore(const DosPaths* paths,
                                         const std::string* hostWindowsDirectory);

}  // namespace sabrel::platform::offline
