// What Windows 9x does with WININIT.INI at its next start, carried out on the
// installation on disk.
#pragma once

#include <string>
#include <vector>

#include "platform/offline/dos_paths.h"

namespace sabrel::platform::offline {

struct RenameOutcome {
    enum class Result {
        kReplaced,       // destination (if any) deleted, source moved to its name
        kDeleted,        // NUL=file: the file was deleted
        kSourceMissing,  // nothing done; the destination is left as it was
        kFailed,         // a host operation failed; `error` says which
    };
    std::string key;
    std::string value;
    Result result = Result::kFailed;
    DWORD error = 0;
};

// Carries out the Rename section of <windir>\WININIT.INI in file order: the
// key's file is deleted and the value's file takes its name; a key NUL deletes
// the value's file. An entry whose source is missing is skipped without
// deleting its destination, so a hive is never lost to a missing
// replacement. Afterwards WININIT.INI becomes WININIT.BAK (replacing an older
// one). Nothing happens when there is no WININIT.INI.
std::vector<RenameOutcome> CarryOutWininit(const DosPaths& paths,
                                           const std::string& hostWindowsDirectory);

}  // namespace sabrel::platform::offline
