// SPDX-License-Identifier: MIT
#include "platform/offline/dos_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/offline/short_names.h"

namespace sabrel::platform::offline {

namespace {

bool IsFatMount(int fd) {
    struct statfs fs;
    return fstatfs(fd, &fs) == 0 && fs.f_type == MSDOS_SUPER_MAGIC;
}

// The FAT driver's own pairs of short and long names.
bool ListFat(int fd, const CodePage& cp, std::vector<DosDirEntry>* out) {
    struct __fat_dirent both[2];
    for (;;) {
        int r = ioctl(fd, VFAT_IOCTL_READDIR_BOTH, both);
        if (r < 0) return false;
        if (r == 0) return true;
        std::string shortName(both[0].d_name, strnlen(both[0].d_name, sizeof both[0].d_name));
        std::string longName(both[1].d_name, strnlen(both[1].d_name, sizeof both[1].d_name));
        if (shortName == "." || shortName == "..") continue;
        DosDirEntry e;
        e.hostName = longName.empty() ? shortName : longName;
        cp.FromHost(e.hostName, &e.longName);
        std::string ansiShort;
        cp.FromHost(shortName, &ansiShort);
        e.alias = cp.UpperAscii(ansiShort);
        out->push_back(std::move(e));
    }
}

bool IsInvalidInLongName(std::uint8_t c) {
    return c < 0x20 || c == '"' || c == '*' || c == ':' || c == '<' || c == '>' || c == '?' ||
           c == '|';
}

// True when every character of the ANSI name may stand in a Windows path.
bool IsUsableLongName(const std::string& name, const CodePage& cp) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto c = static_cast<std::uint8_t>(name[i]);
        if (cp.IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (IsInvalidInLongName(c) || c == '\\' || c == '/') return false;
    }
    return true;
}

bool StatPath(const std::string& p, struct stat* st) {
    return ::stat(p.c_str(), st) == 0;
}

std::string HostJoin(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

std::string HostParent(const std::string& p) {
    auto slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

}  // namespace

bool ListDosDirectory(const std::string& hostDir, const CodePage& cp,
                      std::vector<DosDirEntry>* out) {
    out->clear();
    int fd = ::open(hostDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool done = false;
    if (IsFatMount(fd)) {
        done = ListFat(fd, cp, out);
        if (!done) {
            out->clear();
            lseek(fd, 0, SEEK_SET);
        }
    }
    if (!done) {
        DIR* dir = fdopendir(fd);
        if (!dir) {
            int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        std::vector<std::string> names;
        errno = 0;
        while (struct dirent* d = readdir(dir)) {
            std::string n = d->d_name;
            if (n != "." && n != "..") names.push_back(std::move(n));
        }
        int saved = errno;
        closedir(dir);
        if (saved != 0) {
            errno = saved;
            return false;
        }
        std::sort(names.begin(), names.end());
        std::vector<std::string> longNames(names.size());
        std::vector<bool> usable(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            bool lossless = false;
            if (!cp.FromHost(names[i], &longNames[i], &lossless)) longNames[i] = "_";
            usable[i] = lossless && IsUsableLongName(longNames[i], cp);
        }
        std::vector<std::string> aliases = AssignShortNames(longNames, cp);
        for (std::size_t i = 0; i < names.size(); ++i) {
            // A name that Windows could not spell (or not use in a path) is
            // shown by its alias, so that every listed name can be opened.
            out->push_back({names[i], usable[i] ? longNames[i] : aliases[i], aliases[i]});
        }
        return true;
    }
    ::close(fd);
    std::sort(out->begin(), out->end(),
              [](const DosDirEntry& a, const DosDirEntry& b) { return a.hostName < b.hostName; });
    return true;
}

struct DosPaths::Parsed {
    bool hostPath = false;
    std::string base;    // host folder the components start from
    std::string prefix;  // drive and root as given ("C:\", "\", "")
    std::vector<std::string> components;
};

DosPaths::DosPaths(std::string driveC, CodePage cp) : driveC_(std::move(driveC)), cp_(cp) {}

bool DosPaths::Parse(const std::string& dosPath, Parsed* p, DWORD* error) const {
    *p = Parsed{};
    if (dosPath.empty()) {
        *error = kErrorPathNotFound;
        return false;
    }
    if (dosPath[0] == '/') {
        p->hostPath = true;
        p->base = dosPath;
        return true;
    }
    std::size_t pos = 0;
    if (dosPath.size() >= 2 && dosPath[1] == ':' &&
        std::isalpha(static_cast<unsigned char>(dosPath[0]))) {
        if ((dosPath[0] != 'C' && dosPath[0] != 'c') || driveC_.empty()) {
            *error = kErrorPathNotFound;
            return false;
        }
        p->base = driveC_;
        // "C:name" is taken from the root: the offline system has no
        // current folder per drive.
        p->prefix = "C:\\";
        pos = 2;
        if (pos < dosPath.size() && (dosPath[pos] == '\\' || dosPath[pos] == '/')) ++pos;
    } else if (dosPath[0] == '\\' || dosPath[0] == '/') {
        if (dosPath.size() > 1 && (dosPath[1] == '\\' || dosPath[1] == '/')) {
            *error = kErrorBadPathname;  // UNC names have no place offline
            return false;
        }
        if (driveC_.empty()) {
            *error = kErrorPathNotFound;
            return false;
        }
        p->base = driveC_;
        p->prefix = "\\";
        pos = 1;
    } else {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) {
            *error = kErrorPathNotFound;
            return false;
        }
        p->base = cwd;
    }
    std::string cur;
    auto flush = [&]() -> bool {
        if (cur.empty()) return true;
        if (cur != "." && cur != "..") {
            // Windows ignores trailing periods and spaces of a name.
            while (!cur.empty() && (cur.back() == '.' || cur.back() == ' ')) cur.pop_back();
            if (cur.empty()) return false;
        }
        if (cur.size() > 255) return false;
        p->components.push_back(cur);
        cur.clear();
        return true;
    };
    for (std::size_t i = pos; i < dosPath.size(); ++i) {
        auto c = static_cast<std::uint8_t>(dosPath[i]);
        if (cp_.IsLeadByte(c)) {
            if (i + 1 >= dosPath.size()) {
                *error = kErrorInvalidName;
                return false;
            }
            cur.append(dosPath, i, 2);
            ++i;
            continue;
        }
        if (c == '\\' || c == '/') {
            if (!flush()) {
                *error = kErrorInvalidName;
                return false;
            }
            continue;
        }
        if (IsInvalidInLongName(c)) {
            *error = kErrorInvalidName;
            return false;
        }
        cur.push_back(static_cast<char>(c));
    }
    if (!flush()) {
        *error = kErrorInvalidName;
        return false;
    }
    return true;
}

bool DosPaths::SplitLast(const std::string& dosPath, std::string* folder, std::string* last) const {
    std::size_t sep = std::string::npos;
    for (std::size_t i = 0; i < dosPath.size(); ++i) {
        auto c = static_cast<std::uint8_t>(dosPath[i]);
        if (cp_.IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':') sep = i;
    }
    if (sep == std::string::npos) {
        folder->clear();
        *last = dosPath;
        return true;
    }
    // Keep the root separator of "C:\name" and "\name".
    bool root = dosPath[sep] == ':' || sep == 0 || (sep == 2 && dosPath[1] == ':');
    *folder = dosPath.substr(0, root ? sep + 1 : sep);
    *last = dosPath.substr(sep + 1);
    return true;
}

bool DosPaths::Lookup(const std::string& hostDir, const std::string& component,
                      std::string* hostName, std::string* alias, bool wantAlias) const {
    std::string utf8;
    bool convertible = cp_.ToHost(component, &utf8);
    struct stat st;
    if (!wantAlias && convertible && ::lstat(HostJoin(hostDir, utf8).c_str(), &st) == 0) {
        *hostName = utf8;
        return true;
    }
    std::vector<DosDirEntry> entries;
    if (!ListDosDirectory(hostDir, cp_, &entries)) return false;
    const DosDirEntry* found = nullptr;
    for (const auto& e : entries) {
        if (convertible && e.hostName == utf8) {
            found = &e;
            break;
        }
    }
    for (const auto& e : entries) {
        if (found) break;
        if (cp_.EqualNoCase(e.longName, component)) found = &e;
    }
    for (const auto& e : entries) {
        if (found) break;
        if (cp_.EqualNoCase(e.alias, component)) found = &e;
    }
    if (!found) return false;
    *hostName = found->hostName;
    if (alias) *alias = found->alias;
    return true;
}

bool DosPaths::Map(const std::string& dosPath, Mapping* m) const {
    *m = Mapping{};
    Parsed p;
    DWORD error = 0;
    if (!Parse(dosPath, &p, &error)) {
        m->missingError = error;
        return false;
    }
    struct stat st;
    if (p.hostPath) {
        m->host = p.base;
        m->exists = StatPath(m->host, &st);
        if (!m->exists) {
            m->missingError =
                StatPath(HostParent(m->host), &st) ? kErrorFileNotFound : kErrorPathNotFound;
        }
        return m->exists || m->missingError == kErrorFileNotFound;
    }
    std::vector<std::string> stack{p.base};
    for (std::size_t i = 0; i < p.components.size(); ++i) {
        const std::string& c = p.components[i];
        bool last = i + 1 == p.components.size();
        if (c == ".") continue;
        if (c == "..") {
            if (stack.size() > 1) stack.pop_back();
            continue;
        }
        const std::string& dir = stack.back();
        std::string name;
        if (Lookup(dir, c, &name, nullptr, false)) {
            std::string next = HostJoin(dir, name);
            if (!last && !(StatPath(next, &st) && S_ISDIR(st.st_mode))) {
                m->host = next;
                m->missingError = kErrorPathNotFound;
                return false;
            }
            stack.push_back(next);
            continue;
        }
        std::string utf8;
        if (!cp_.ToHost(c, &utf8)) {
            m->missingError = kErrorInvalidName;
            return false;
        }
        m->host = HostJoin(dir, utf8);
        m->missingError = last ? kErrorFileNotFound : kErrorPathNotFound;
        return last;
    }
    m->host = stack.back();
    m->exists = StatPath(m->host, &st);
    if (!m->exists) m->missingError = kErrorFileNotFound;
    return true;
}

bool DosPaths::ShortPath(const std::string& dosPath, std::string* out, DWORD* error) const {
    Parsed p;
    if (!Parse(dosPath, &p, error)) return false;
    struct stat st;
    if (p.hostPath) {
        if (!StatPath(p.base, &st)) {
            *error = StatPath(HostParent(p.base), &st) ? kErrorFileNotFound : kErrorPathNotFound;
            return false;
        }
        *out = p.base;
        return true;
    }
    std::vector<std::string> stack{p.base};
    std::vector<std::string> shortParts;
    for (std::size_t i = 0; i < p.components.size(); ++i) {
        const std::string& c = p.components[i];
        bool last = i + 1 == p.components.size();
        if (c == ".") continue;
        if (c == "..") {
            if (stack.size() > 1) {
                stack.pop_back();
                shortParts.pop_back();
            }
            continue;
        }
        std::string name, alias;
        if (!Lookup(stack.back(), c, &name, &alias, true)) {
            *error = last ? kErrorFileNotFound : kErrorPathNotFound;
            return false;
        }
        std::string next = HostJoin(stack.back(), name);
        if (!StatPath(next, &st) || (!last && !S_ISDIR(st.st_mode))) {
            *error = last ? kErrorFileNotFound : kErrorPathNotFound;
            return false;
        }
        stack.push_back(next);
        shortParts.push_back(alias);
    }
    std::string result = p.prefix;
    for (std::size_t i = 0; i < shortParts.size(); ++i) {
        if (i > 0) result += '\\';
        result += shortParts[i];
    }
    *out = result;
    return true;
}

std::string HostWindowsDirectoryFromEnvironment() {
    const char* w = std::getenv("SABREL_WINDIR");
    if (!w || !*w) return std::string();
    std::string windir = w;
    if (char* real = realpath(windir.c_str(), nullptr)) {
        windir = real;
        std::free(real);
    } else if (windir[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) windir = HostJoin(cwd, windir);
    }
    while (windir.size() > 1 && windir.back() == '/') windir.pop_back();
    return windir;
}

std::string DriveCOf(const std::string& hostWindowsDirectory) {
    if (hostWindowsDirectory.empty()) return std::string();
    return HostParent(hostWindowsDirectory);
}

std::string MapDosPathFromEnvironment(const std::string& dosPath) {
    if (!dosPath.empty() && dosPath[0] == '/') return dosPath;
    std::string driveC = DriveCOf(HostWindowsDirectoryFromEnvironment());
    UINT cp = 932;
    if (const char* c = std::getenv("SABREL_CODEPAGE"); c && *c)
        cp = static_cast<UINT>(std::atoi(c));
    DosPaths paths(driveC, CodePage(cp));
    DosPaths::Mapping m;
    if (!paths.Map(dosPath, &m)) return std::string();
    return m.host;
}

}  // namespace sabrel::platform::offline
