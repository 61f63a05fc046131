#include "platform/offline/restart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

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

}  // namespace

std::vector<RenameOutcome> CarryOutWininit(const DosPaths& paths,
                                           const std::string& hostWindowsDirectory) {
    std::vector<RenameOutcome> outcomes;
    std::string ini = FindInFolder(paths, hostWindowsDirectory, "WININIT.INI");
    std::ifstream in(ini, std::ios::binary);
    if (!in) return outcomes;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();

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
            outcomes.push_back(o);
            continue;
        }
        if (!srcMapped || !src.exists) {
            o.result = RenameOutcome::Result::kSourceMissing;
            outcomes.push_back(o);
            continue;
        }
        DosPaths::Mapping dst;
        if (!paths.Map(key, &dst)) {
            o.error = dst.missingError;
            outcomes.push_back(o);
            continue;
        }
        if (dst.host == src.host) {
            o.result = RenameOutcome::Result::kReplaced;
            outcomes.push_back(o);
            continue;
        }
        // rename() replaces the destination in one step: the hive is never
        // missing, even if the machine stops half way.
        if (::rename(src.host.c_str(), dst.host.c_str()) == 0) {
            o.result = RenameOutcome::Result::kReplaced;
        } else {
            o.error = Win32FromErrno(errno);
        }
        outcomes.push_back(o);
    }

    std::string bak = FindInFolder(paths, hostWindowsDirectory, "WININIT.BAK");
    if (Exists(bak)) ::unlink(bak.c_str());
    ::rename(ini.c_str(), bak.c_str());
    return outcomes;
}

}  // namespace sabrel::platform::offline
