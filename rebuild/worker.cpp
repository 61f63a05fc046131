// SPDX-License-Identifier: MIT
#include "rebuild/worker.h"

#include <exception>
#include <new>

#include "common/errors.h"
#include "common/format.h"
#include "common/paths.h"
#include "common/texts.h"
#include "rebuild/wininit.h"
#include "rebuild/withdrawal.h"
#include "ui/ui.h"

namespace sabrel::rebuild {

namespace {

using platform::DWORD;
using platform::HKEY;
using platform::kHkeyUsers;

// Opens HKEY_USERS\MIRONET_SABREL with full access, or with read access when
// full access is refused.
bool OpenTempKey(HKEY* key) {
    platform::Platform& p = platform::Get();
    if (p.RegOpenKeyExA(kHkeyUsers, texts::kTempKey, 0, platform::kKeyAllAccess, key) == 0) {
        return true;
    }
    return p.RegOpenKeyExA(kHkeyUsers, texts::kTempKey, 0, platform::kKeyRead, key) == 0;
}

// One run; the numbers in its comments are those of the steps that worker.h
// lists.
class Run {
  public:
    explicit Run(RebuildJob& job) : job_(job), in_(job.inputs), opt_(job.inputs.options) {}

    void Execute() {
        // 1. Backup first; the rebuild goes on whatever it achieved.
        if (opt_.mode == RunMode::RebuildAndBackup && job_.hooks.backup) job_.hooks.backup();
        // 2. Without a Windows directory there is nothing to work on.
        if (in_.winDir.empty()) return Finish(rsAborted);
        // 3. Pre-flight: a hive left loaded under the temporary key is unloaded.
        HKEY key = 0;
        if (OpenTempKey(&key)) {
            p_.RegCloseKey(key);
            if (p_.RegUnLoadKeyA(kHkeyUsers, texts::kTempKey) != 0) {
                Stop(texts::kMsgKeyExists);
                return;
            }
        }
        // 4. The hive loop.
        int processed = 0;
        const std::size_t count = in_.targets.size();
        for (std::size_t i = 0; i < count; ++i) {
            const TargetEntry& entry = in_.targets[i];
            if (!entry.selected) continue;
            if (!RebuildHive(entry)) return;
            ++processed;
        }
        // 14. Nothing selected: aborted without a word.
        if (processed == 0) return Finish(rsAborted);
        // 15. Cache entries, release of the archiver, done.
        if (opt_.delFontCache) ScheduleCacheSetAside(in_.winDir, texts::kFontCache);
        if (opt_.delIconCache) ScheduleCacheSetAside(in_.winDir, texts::kIconCache);
        if (job_.hooks.releaseArchiver) job_.hooks.releaseArchiver();
        Finish(rsDone);
    }

  private:
    // Steps 5 to 13 for one hive; false when the run was stopped.
    bool RebuildHive(const TargetEntry& entry) {
        const char* name = entry.text.c_str();
        // 5. The path in the Windows directory.
        std::string hivePath = JoinPath(in_.winDir, entry.text);
        // 6. Check before the rebuild, on the long path.
        CheckCounts before;
        if (opt_.checkBefore) {
            if (!Check(hivePath, &before)) return Stop(Format(texts::kMsgNoShortPath, name, Err()));
            if (before.ghostKeys > 0 && !opt_.beforeGhost) {
                return Stop(Format(texts::kMsgGhostBefore, hivePath.c_str(), before.ghostKeys));
            }
        }
        // 7. Clear the way for the rebuilt file; only a survivor is a failure.
        // Windows deletes the hive before it moves the rebuilt file in, so an
        // entry left by an earlier start must not outlive the old file, nor
        // name the new one before it has passed its checks. The entry's key is
        // the short path (step 8, taken first for that) and the entry goes
        // before the file.
        std::string shortHive;
        if (!ShortPathOf(hivePath, &shortHive)) {
            return Stop(Format(texts::kMsgNoShortPath, name, Err()));
        }
        if (!UnscheduleHiveReplacement(in_.winDir, shortHive)) {
            throw WininitWriteError(WininitPath(in_.winDir));
        }
        std::string rebuiltPath = ReplaceExtension(hivePath, texts::kExtRebuilt);
        p_.SetFileAttributesA(rebuiltPath.c_str(), 0);
        p_.DeleteFileA(rebuiltPath.c_str());
        if (platform::FileExists(rebuiltPath)) {
            return Stop(Format(texts::kMsgCannotDelete, rebuiltPath.c_str()));
        }
        // 8. From here on both paths are in their short form.
        hivePath = shortHive;
        rebuiltPath = ReplaceExtension(hivePath, texts::kExtRebuilt);
        // 9. Load.
        if (p_.RegLoadKeyA(kHkeyUsers, texts::kTempKey, hivePath.c_str()) != 0) {
            return Stop(Format(texts::kMsgCannotLoad, name, Err()));
        }
        // 10. Save; on failure the hive stays loaded until a later pre-flight.
        HKEY key = 0;
        if (!OpenTempKey(&key)) return Stop(Format(texts::kMsgCannotSave, name, Err()));
        platform::LONG saved = p_.RegSaveKeyA(key, rebuiltPath.c_str(), nullptr);
        int saveError = Err();
        p_.RegCloseKey(key);
        if (saved != 0) return Stop(Format(texts::kMsgCannotSave, name, saveError));
        // 11. Unload.
        if (p_.RegUnLoadKeyA(kHkeyUsers, texts::kTempKey) != 0) {
            return Stop(Format(texts::kMsgCannotUnload, name, Err()));
        }
        // 12. Check after the rebuild, on the short rebuilt path.
        if (opt_.checkAfter) {
            CheckCounts after;
            if (!Check(rebuiltPath, &after)) {
                return Stop(Format(texts::kMsgNoShortPath, name, Err()));
            }
            if (after.ghostKeys > 0 && !opt_.afterGhost) {
                return Stop(Format(texts::kMsgGhostAfter, hivePath.c_str(), after.ghostKeys));
            }
            if (opt_.checkBefore) {
                std::int64_t lost = (std::int64_t{before.goodKeys} + before.badKeys) -
                                    (std::int64_t{after.goodKeys} + after.badKeys);
                if (lost != 0 && !opt_.ignoreLost) {
                    return Stop(
                        Format(texts::kMsgKeysLost, hivePath.c_str(), static_cast<int>(lost)));
                }
            }
        }
        // 13. Schedule the swap.
        ScheduleHiveReplacement(in_.winDir, hivePath, rebuiltPath);
        return true;
    }

    // Runs the checker. A path beyond the checker's limit is checked through
    // its short form, which names the same file; false when there is none.
    bool Check(const std::string& path, CheckCounts* counts) {
        std::string usable = path;
        if (usable.size() > kCheckerPathLimit &&
            (!ShortPathOf(path, &usable) || usable.size() > kCheckerPathLimit)) {
            return false;
        }
        if (job_.hooks.checkHive) *counts = job_.hooks.checkHive(usable);
        return true;
    }

    int Err() { return static_cast<int>(p_.GetLastError()); }

    bool Stop(const std::string& message) {
        ui::ShowMessage(message);
        Finish(rsAborted);
        return false;
    }

    void Finish(std::int32_t state) { job_.runState->store(state); }

    platform::Platform& p_ = platform::Get();
    RebuildJob& job_;
    const RunInputs& in_;
    const RunOptions& opt_;
};

void LastResort(RebuildJob& job, const std::string& text) {
    ui::Get().MessageBox(ui::BoxKind::Error, texts::kAppErrorCaption, text);
    if (job.hooks.exitProcess) {
        job.hooks.exitProcess(1);
    } else {
        platform::Get().ExitProcess(1);
    }
}

}  // namespace

void RunRebuild(RebuildJob& job) {
    Run(job).Execute();
}

platform::DWORD RebuildThreadProc(void* param) {
    RebuildJob& job = *static_cast<RebuildJob*>(param);
    try {
        RunRebuild(job);
    } catch (const std::bad_alloc&) {
        LastResort(job, texts::kMsgOutOfMemory);
    } catch (const std::exception& e) {
        LastResort(job, e.what());
    } catch (...) {
        LastResort(job, Format(texts::kMsgIoError, 0));
    }
    return 1;
}

bool StartRebuildThread(RebuildJob* job, platform::DWORD* threadId) {
    return platform::Get().CreateThread(RebuildThreadProc, job, threadId) != 0;
}

}  // namespace sabrel::rebuild
