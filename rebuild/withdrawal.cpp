// SPDX-License-Identifier: MIT
#include "rebuild/withdrawal.h"

#include "common/format.h"
#include "common/paths.h"
#include "common/texts.h"
#include "platform/platform.h"
#include "rebuild/wininit.h"
#include "ui/ui.h"

namespace sabrel::rebuild {

void DeleteRebuiltFiles(const std::string& winDir, const std::vector<TargetEntry>& targets) {
    platform::Platform& p = platform::Get();
    for (const TargetEntry& entry : targets) {
        if (!entry.selected) continue;
        std::string rebuilt = ReplaceExtension(JoinPath(winDir, entry.text), texts::kExtRebuilt);
        // At the next start Windows deletes the hive before it moves the
        // rebuilt file into its place; an entry that outlives its rebuilt file
        // loses the hive. The entry goes first, whether or not the file is
        // still there, and while the entry stays so does the file.
        const bool cancelled = CancelHiveReplacement(winDir, entry.text);
        if (!platform::FileExists(rebuilt)) continue;
        bool deleted = false;
        if (cancelled) {
            p.SetFileAttributesA(rebuilt.c_str(), 0);
            deleted = p.DeleteFileA(rebuilt.c_str()) != 0;
        }
        if (!deleted) ui::ShowMessage(Format(texts::kMsgCannotDelete, rebuilt.c_str()));
    }
}

void CancelReplacements(const std::string& winDir, const std::vector<TargetEntry>& targets,
                        bool fontCache, bool iconCache) {
    for (const TargetEntry& entry : targets) {
        if (entry.selected) CancelHiveReplacement(winDir, entry.text);
    }
    if (fontCache) CancelCacheSetAside(winDir, texts::kFontCache);
    if (iconCache) CancelCacheSetAside(winDir, texts::kIconCache);
}

}  // namespace sabrel::rebuild
