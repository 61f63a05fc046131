// SPDX-License-Identifier: MIT
// What Windows 9x does with WININIT.INI at its next start, carried out on the
// installation on disk.
#pragma once

#include <string>
#include <vector>

#include "platform/offline/dos_paths.h"

namespace sabrel::platform::offline {

struct RenameOutcome {
    enum class Result {
        kReplaced,         // destination (if any) deleted, source moved to its name
        kDeleted,          // NUL=file: the file was deleted
        kSourceMissing,    // nothing done; the destination is left as it was
        kDestinationLost,  // strict mode: the source was missing and the destination deleted
        kFailed,           // a host operation failed; `error` says which
    };
    std::string key;
    std::string value;
    Result result = Result::kFailed;
    DWORD error = 0;
};

enum class RestartMode {
    // An entry whose source is missing is skipped, keeping its destination.
    kSafe,
    // As Windows 9x itself: the destination is deleted even when the source
    // is missing. Tests use it to prove that no entry can cost a hive.
    kStrict,
};

struct RestartResult {
    // Not 0 when WININIT.INI was there but could not be claimed (renamed to
    // WININIT.BAK, read, and the rename made durable); nothing was carried
    // out then and WININIT.INI is left as it was.
    DWORD claimError = 0;
    std::vector<RenameOutcome> outcomes;
};

// Carries out the Rename section of <windir>\WININIT.INI. The file is claimed
// first: it becomes WININIT.BAK (replacing an older one) and the rename is
// flushed to disk, so that no entry can be carried out twice, even after a
// failure or a power cut half way. The entries are then carried out from the
// claimed copy in file order: the key's file is deleted and the value's file
// takes its name; a key NUL deletes the value's file. Nothing happens when
// there is no WININIT.INI.
RestartResult CarryOutWininit(const DosPaths& paths, const std::string& hostWindowsDirectory,
                              RestartMode mode = RestartMode::kSafe);

}  // namespace sabrel::platform::offline
