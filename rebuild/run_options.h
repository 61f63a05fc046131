// SPDX-License-Identifier: MIT
// What a run reads of the options dialog, as one typed value: the dialog takes
// it from its controls (TForm2::RunOptionsNow), the wizard and the backup read
// it there, and the worker keeps the copy taken when the run starts (the
// options cannot change during a run).
#pragma once

#include <string>

namespace sabrel::rebuild {

enum class RunMode { RebuildAndBackup, RebuildOnly, BackupOnly };
enum class EndOption { Reboot, Shutdown, SabrelOnly };

// One entry of the target list: a hive path relative to the Windows directory.
struct TargetEntry {
    std::string text;
    bool selected = false;
};

// A default value asks for the least: rebuild only, no checks, no archive, and
// Sabrel alone ends.
struct RunOptions {
    RunMode mode = RunMode::RebuildOnly;    // rbRebldBckup, rbRebldOnly, rbBckupOnly
    bool archiveBackup = false;             // rbBUarc (else rbBUcopy)
    bool testArchive = false;               // cbBUarc_test
    bool checkBefore = false;               // cbCheckReg
    bool beforeGhost = false;               // cbBeforeGhost
    bool checkAfter = false;                // cbCheckReg2
    bool afterGhost = false;                // cbAfterGhost
    bool ignoreLost = false;                // cbIgnoreLost
    EndOption end = EndOption::SabrelOnly;  // rbWinReboot, rbWinTerm, rbSBterm
    bool delFontCache = false;              // cbDelFCache
    bool delIconCache = false;              // cbDelICache
};

}  // namespace sabrel::rebuild
