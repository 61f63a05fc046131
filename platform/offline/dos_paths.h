// SPDX-License-Identifier: MIT
// DOS paths of the offline system mapped to host paths.
//
// Drive C: is a host folder (the one that holds the Windows directory). Each
// component of a DOS path is looked up in its host folder without regard to
// the case of ASCII letters, by long name or by 8.3 alias, as FAT does. Host
// names are UTF-8; the Windows side sees them in the ANSI code page. An
// absolute host path (starting with '/') passes through unchanged.
#pragma once

#include <string>
#include <vector>

#include "platform/offline/codepage.h"
#include "platform/platform.h"

namespace sabrel::platform::offline {

// One entry of a host folder as the Windows side sees it.
struct DosDirEntry {
    std::string hostName;  // as on disk (UTF-8)
    std::string longName;  // ANSI; characters without an ANSI form are '?'
    std::string alias;     // ANSI 8.3 name, upper case
};

// Lists a host folder ('.' and '..' left out) with long names and aliases:
// the file system's own aliases on a FAT mount, generated ones elsewhere,
// in host-name order. False with errno set when the folder cannot be read.
bool ListDosDirectory(const std::string& hostDir, const CodePage& cp,
                      std::vector<DosDirEntry>* out);

class DosPaths {
  public:
    // `driveC` is the host folder of C:\ (empty: no drive C:).
    DosPaths(std::string driveC, CodePage cp);

    struct Mapping {
        std::string host;     // host path (of the last component even when missing)
        bool exists = false;  // the whole path exists
        // When it does not exist: 2 if only the last component is missing,
        // 3 if a folder on the way is; 123 for a name that cannot be mapped.
        DWORD missingError = 0;
    };

    // Maps a DOS path; false (with m->missingError) when it cannot be mapped
    // at all or a folder on the way is missing. A missing last component maps
    // to its name as given, so that it can be created.
    bool Map(const std::string& dosPath, Mapping* m) const;

    // The 8.3 form of an existing path: every component by its alias, the
    // drive and separators as given. False with the Win32 error otherwise.
    bool ShortPath(const std::string& dosPath, std::string* out, DWORD* error) const;

    // Splits a path into its folder part and its last component (Shift-JIS aware).
    bool SplitLast(const std::string& dosPath, std::string* folder, std::string* last) const;

    const std::string& driveC() const { return driveC_; }
    const CodePage& codePage() const { return cp_; }

  private:
    struct Parsed;
    bool Parse(const std::string& dosPath, Parsed* p, DWORD* error) const;
    // Finds `component` (ANSI) among the entries of `hostDir`.
    bool Lookup(const std::string& hostDir, const std::string& component, std::string* hostName,
                std::string* alias, bool wantAlias) const;

    std::string driveC_;
    CodePage cp_;
};

// SABREL_WINDIR as an absolute host path without a trailing '/'; empty when unset.
std::string HostWindowsDirectoryFromEnvironment();
// Drive C: of a Windows directory: the folder that holds it.
std::string DriveCOf(const std::string& hostWindowsDirectory);

// Maps a DOS path with the drive and code page that the environment gives the
// offline platform (SABREL_WINDIR, SABREL_CODEPAGE). Absolute host paths pass
// through. Empty when the path cannot be mapped or a folder on the way is
// missing; a missing last component maps to its name as given.
std::string MapDosPathFromEnvironment(const std::string& dosPath);

}  // namespace sabrel::platform::offline
