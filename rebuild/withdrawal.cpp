#include "rebuild/withdrawal.h"

#include "common/paths.h"
#include "common/texts.h"
#include "platform/platform.h"
#include "rebuild/format.h"
#include "rebuild/wininit.h"
#include "ui/ui.h"

namespace sabrel::rebuild {

bool FileExists(const std::string& path) {
    platform::Platform& p = platform::Get();
    platform::FindData data;
    platform::FindHandle h = p.FindFirstFileA(path.c_str(), &data);
    if (h == platform::kInvalidFindHandle) return false;
    p.FindClose(h);
    return true;
}

void DeleteRebuiltFiles(const std::string& winDir, const std::vector<TargetEntry>& targets) {
    platform::Platform& p = platform::Get();
    for (const TargetEntry& entry : targets) {
        if (!entry.selected) continue;
        std::string rebuilt = ReplaceExtension(JoinPath(winDir, entry.text), texts::kExtRebuilt);
        if (!FileExists(rebuilt)) continue;
        // At the next start Windows deletes the hive before it moves the
        // rebuilt file into its place; an entry left pointing at a deleted
        // rebuilt file would lose the hive. The entry goes first.
        CancelHiveReplacement(winDir, entry.text);
        p.SetFileAttributesA(rebuilt.c_str(), 0);
        if (!p.DeleteFileA(rebuilt.c_str())) {
            ui::ShowMessage(Format(texts::kMsgCannotDelete, rebuilt.c_str()));
        }
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
