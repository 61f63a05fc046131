// SPDX-License-Identifier: MIT
// The no-loss invariant of a Windows 9x installation on disk, written once for
// every test that runs the program or its tools against one:
//  - every hive is byte-identical to before or, after a restart, has been
//    replaced by a rebuilt file that the checker passes and that holds the
//    same keys and values;
//  - WININIT.INI reads cleanly as Windows' start-up reads it, and each of its
//    Rename entries names a complete file; an entry that replaces a hive
//    names a file that the checker passes with the hive's keys and values;
//  - HELP\SBRCOVER.BAT names only backups that exist (a copy backup is also
//    compared with the hive it saved).
// Keys and values are compared through the project's own hive reader, which
// is fast enough for thousands of runs; the end-to-end tests compare a sample
// with libcreg as well.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sabrel::test {

struct HiveSnapshot {
    std::string host;  // host path of the hive file
    std::string dos;   // its short DOS path, as WININIT.INI names it
    std::string bytes;
    std::string content;  // keys and values, from LogicalContent()
};

struct InstallationSnapshot {
    std::string hostWindir;
    std::vector<HiveSnapshot> hives;
};

// Every key and value of a hive file as one comparable text, read through the
// project's own reader; empty when the file cannot be read as a hive.
std::string LogicalContent(const std::string& hostPath);

// The hives of the installation whose Windows folder is `hostWindir`:
// SYSTEM.DAT, USER.DAT, CLASSES.DAT and Profiles\*\USER.DAT, those that exist.
InstallationSnapshot TakeSnapshot(const std::string& hostWindir);

// Checks the invariant; returns one line per violation (empty: it holds).
// `restarted`: a restart has carried out WININIT.INI since the snapshot, so a
// hive may have been replaced by its rebuilt file.
std::vector<std::string> CheckNoLoss(const InstallationSnapshot& before, bool restarted);

// The next start of Windows, carried out by the offline restart in its strict
// mode, which does what Windows 9x does: for each Rename entry the key's file
// is deleted even when the value's file is missing. Returns one line per hive
// lost that way and per entry that could not be carried out.
std::vector<std::string> StrictRestart(const InstallationSnapshot& before);

// The Rename entries of a WININIT.INI text, read as the start-up processing
// reads them; lines of the section that are not entries go to *bad.
std::vector<std::pair<std::string, std::string>> RenameEntries(const std::string& text,
                                                               std::vector<std::string>* bad);

}  // namespace sabrel::test
