// SPDX-License-Identifier: MIT
#include "platform/offline/restart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/offline/host_files.h"
#include "platform/offline/profile.h"
#include "platform/offline/win32_errors.h"

namespace sabrel::platform::offline {

namespace {

// The host path of `name` in `dir`, matched without regard to case.
std::string FindInFolder(const DosPaths& paths, const std::string& dir, const std::string& name) {
    std::vector<DosDirEntry> entries;
    if (ListDosDirectory(dir, paths.codePage(), &entries)) {
        for (const auto& e : entries) {
            if (paths.codePage().EqualNoCase(e.longName, name)) return dir + "/" + e.hostName;
        }
    }
    return dir + "/" + name;
}

bool Exists(const std::string& host) {
    struct stat st;
    return ::lstat(host.c_str(), &st) == 0;
}

bool ReadText(const std::string& host, std::string* text) {
    std::vector<std::uint8_t> bytes;
    if (!ReadHostFile(host, &bytes)) return false;
    text->assign(bytes.begin(), bytes.end());
    return true;
}

// Renames WININIT.INI to WININIT.BAK, makes that durable and reads the
// claimed copy. On failure after the rename, the file goes back to its name.
DWORD Claim(const DosPaths& paths, const std::string& windir, std::string* text) {
    std::string ini = FindInFolder(paths, windir, "WININIT.INI");
    if (!Exists(ini)) return kErrorFileNotFound;
    std::string bak = FindInFolder(paths, windir, "WININIT.BAK");
    if (::rename(ini.c_str(), bak.c_str()) != 0) return Win32FromErrno(errno);
    DWORD code = 0;
    if (!SyncFolder(windir)) {
        code = Win32FromErrno(errno);
    } else if (errno = 0, !ReadText(bak, text)) {
        code = Win32FromErrno(errno ? errno : EIO);
    }
    if (code && ::rename(bak.c_str(), ini.c_str()) == 0) SyncFolder(windir);
    return code;
}

}  // namespace

RestartResult CarryOutWininit(const DosPaths& paths, const std::string& hostWindowsDirectory,
                              RestartMode mode) {
    RestartResult result;
    std::string text;
    DWORD claim = Claim(paths, hostWindowsDirectory, &text);
    if (claim == kErrorFileNotFound) return result;
    if (claim) {
        result.claimError = claim;
        return result;
    }

    for (const auto& [key, value] : profile::Entries(text, "Rename", paths.codePage())) {
        RenameOutcome o{key, value, RenameOutcome::Result::kFailed, 0};
        DosPaths::Mapping src;
        bool srcMapped = paths.Map(value, &src);
        if (paths.codePage().EqualNoCase(key, "NUL")) {
            if (!srcMapped || !src.exists) {
                o.result = RenameOutcome::Result::kSourceMissing;
            } else if (::unlink(src.host.c_str()) == 0) {
                o.result = RenameOutcome::Result::kDeleted;
            } else {
                o.error = Win32FromErrno(errno);
            }
            result.outcomes.push_back(o);
            continue;
        }
        DosPaths::Mapping dst;
        bool dstMapped = paths.Map(key, &dst);
        if (!srcMapped || !src.exists) {
            o.result = RenameOutcome::Result::kSourceMissing;
            // Windows deletes the destination first and only then finds
            // nothing to move in its place.
            if (mode == RestartMode::kStrict && dstMapped && dst.exists) {
                if (::unlink(dst.host.c_str()) == 0) {
                    o.result = RenameOutcome::Result::kDestinationLost;
                } else {
                    o.result = RenameOutcome::Result::kFailed;
                    o.error = Win32FromErrno(errno);
                }
            }
            result.outcomes.push_back(o);
            continue;
        }
        if (!dstMapped) {
            o.error = dst.missingError;
            result.outcomes.push_back(o);
            continue;
        }
        if (dst.host == src.host) {
            o.result = RenameOutcome::Result::kReplaced;
            result.outcomes.push_back(o);
            continue;
        }
        // rename() replaces the destination in one step: the hive is never
        // missing, even if the machine stops half way.
        if (::rename(src.host.c_str(), dst.host.c_str()) == 0) {
            o.result = RenameOutcome::Result::kReplaced;
        } else {
            o.error = Win32FromErrno(errno);
        }
        result.outcomes.push_back(o);
    }
    SyncFolder(hostWindowsDirectory);
    return result;
}

}  // namespace sabrel::platform::offline
