// SPDX-License-Identifier: MIT
// Withdrawal of a run: the rebuilt files and the scheduled replacements are
// taken back; the hive files in use are never touched. The wizard's withdraw
// button deletes the rebuilt files (on the user's yes), its finish button
// removes the program's entries from WININIT.INI.
#pragma once

#include <string>
#include <vector>

#include "rebuild/worker.h"

namespace sabrel::rebuild {

// For each selected entry in list order: its replacement entry is removed
// first (so that no restart can delete the hive for a rebuilt file that is
// gone), then the rebuilt file "<winDir>\<entry>" with ".CLN" (long form), if
// present, has its attributes cleared and is deleted. A file that cannot be
// deleted, or whose entry could not be removed and so is kept, is named in
// the message "%s を削除できませんでした" and the next entry follows.
void DeleteRebuiltFiles(const std::string& winDir, const std::vector<TargetEntry>& targets);

// Removes the replacement entry of every selected entry, then the cache
// set-aside entries whose options are on (font cache first). Reports nothing.
void CancelReplacements(const std::string& winDir, const std::vector<TargetEntry>& targets,
                        bool fontCache, bool iconCache);

}  // namespace sabrel::rebuild
