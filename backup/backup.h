// SPDX-License-Identifier: MIT
// The backup routine of the options dialog (BackupReg) and the DOS restore
// batch file it writes.
//
// For every selected target hive it saves either a plain copy beside the hive
// (".BEF") or a self-extracting LZH archive made through the archiver library
// ("<first six letters>BU.EXE", with "...BU.LZH" as an intermediate), then
// writes <Windows directory>\HELP\SBRCOVER.BAT, which puts the saved hives back
// from DOS mode. A failure on one hive is told in a message box and ends the
// work on that hive only; the routine then goes on with the next one and always
// finishes by writing the batch file.
//
// All file access goes through platform::Get(), all messages through
// ui::ShowMessage. The routine runs on whichever thread calls it: the worker
// (mode rebuild and back up) or the UI thread (mode backup only).
#pragma once

#include <string>
#include <vector>

#include "backup/archiver_api.h"
#include "common/errors.h"
#include "common/texts.h"
#include "platform/platform.h"

namespace sabrel::backup {

// One entry of the target list: the hive path relative to the Windows
// directory ("SYSTEM.DAT", "Profiles\<folder>\USER.DAT", ...) and its mark.
struct BackupTarget {
    std::string text;
    bool selected = false;
};

// What the options dialog's controls say at the moment of the call.
struct BackupRequest {
    bool rebuildOnly = false;           // rbRebldOnly: the routine does nothing
    bool archiveMode = false;           // rbBUarc; otherwise plain copies (rbBUcopy)
    bool testArchive = false;           // cbBUarc_test, consulted in archive mode only
    std::vector<BackupTarget> targets;  // lbRegs, in list order
    std::string windowsDirectory;       // the dialog's own copy, no trailing '\'
    // The loaded archiver; needed in archive mode only. A missing or unusable
    // library there fails each hive with "compress failure[127]".
    ArchiverApi* archiver = nullptr;
    // The dialog's line buffer meBat. Emptied at the start of the call, filled,
    // written out and emptied again; left filled when the write fails. When
    // null, the routine uses a buffer of its own.
    std::vector<std::string>* lineBuffer = nullptr;
};

// What the callers show when the batch file cannot be written
// (BatchWriteError):
// - the rebuild worker lets it reach the thread's handler of last resort,
//   which shows what() in an error box captioned "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ" and ends the
//   program with exit code 1;
// - the backup-only path on the UI thread catches it, shows what() in an error
//   box captioned "Quillmere" (ui::BoxKind::Error) and goes on as after any
//   backup.

// Backs up the selected hives and writes the restore batch file. Does nothing
// (touches no file) in mode rebuild-only or when no entry is selected.
// Throws BatchWriteError when the batch file cannot be written.
void BackupReg(const BackupRequest& request);

// Naming rule. Copy mode: `path` with the extension ".BEF". Archive mode:
// the folder of `path`, then the first six characters of its file name
// without extension, then "BU" and `ext` (".LZH" or ".EXE").
std::string CopyBackupName(const std::string& path);
std::string ArchiveBackupName(const std::string& path, const std::string& ext);

// "<Windows directory>\HELP\SBRCOVER.BAT".
std::string BatchFilePath(const std::string& windowsDirectory);

// The language of the restore batch file is the system's, not the program's:
// DOS shows its ECHO lines in the system's code page, so they are Japanese on
// code page 932 and English (ASCII) on any other.
texts::Language BatchLanguage();

// The lines of the restore batch file, without line ends.
std::vector<std::string> BatchHeader(texts::Language language);
std::vector<std::string> BatchFooter(texts::Language language);
// The block of one saved hive: `entry` as listed, the Windows directory in its
// short (8.3) form, and the short paths of the hive and of its backup.
std::vector<std::string> BatchBlock(bool archiveMode, const std::string& entry,
                                    const std::string& windowsDirectory,
                                    const std::string& shortHive, const std::string& shortBackup,
                                    texts::Language language);

}  // namespace sabrel::backup
