// SPDX-License-Identifier: MIT
#include "programs/linux/installation.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/offline/codepage.h"
#include "platform/offline/dos_paths.h"

namespace sabrel::programs::linux_entry {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The entry of dir whose name matches name case-insensitively; empty if none.
std::string FindNoCase(const std::string& dir, const std::string& name) {
    DIR* d = opendir(dir.c_str());
    if (!d) return std::string();
    std::string found;
    while (dirent* e = readdir(d)) {
        if (EqualNoCase(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Join(const std::string& dir, const std::string& name) {
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool IsWindowsFolder(const std::string& dir) {
    std::string hive = FindNoCase(dir, "SYSTEM.DAT");
    std::string win = FindNoCase(dir, "WIN.COM");
    return !hive.empty() && !win.empty() && IsRegularFile(Join(dir, hive));
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// [Paths] WinDir= of an MSDOS.SYS, e.g. "C:\WINDOWS"; empty if absent.
std::string WinDirOfMsdosSys(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    bool inPaths = false;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (!line.empty() && line[0] == '[') {
            inPaths = EqualNoCase(line, "[Paths]");
            continue;
        }
        std::size_t eq = line.find('=');
        if (inPaths && eq != std::string::npos && EqualNoCase(Trim(line.substr(0, eq)), "WinDir"))
            return Trim(line.substr(eq + 1));
    }
    return std::string();
}

// Maps "C:\WINDOWS" onto the drive root the way the offline platform maps
// DOS paths: by long name or 8.3 alias, case-insensitively, the ANSI bytes of
// MSDOS.SYS read in the installation's code page.
std::string MapUnderRoot(const std::string& root, const std::string& dosPath) {
    winapi::UINT cp = 932;
    if (const char* c = std::getenv("SABREL_CODEPAGE"); c && *c)
        cp = static_cast<winapi::UINT>(std::atoi(c));
    platform::offline::DosPaths paths(root, platform::offline::CodePage(cp));
    platform::offline::DosPaths::Mapping m;
    std::string path = dosPath;
    if (path.size() < 2 || path[1] != ':') path = "C:" + path;
    if (!paths.Map(path, &m) || !m.exists) return std::string();
    return m.host;
}

std::string Absolute(const std::string& path) {
    if (char* real = realpath(path.c_str(), nullptr)) {
        std::string r = real;
        std::free(real);
        return r;
    }
    return path;
}

}  // namespace

Resolution ResolveInstallation(const std::string& path) {
    Resolution r;
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) {
        r.problem = Problem::Missing;
        return r;
    }
    if (S_ISREG(st.st_mode)) {
        r.problem = Problem::ImageUnsupported;
        return r;
    }
    std::string dir = Absolute(path);
    if (S_ISDIR(st.st_mode) && IsWindowsFolder(dir)) {
        r.windowsDirectory = dir;
        return r;
    }
    if (S_ISDIR(st.st_mode)) {
        std::string msdos = FindNoCase(dir, "MSDOS.SYS");
        if (!msdos.empty()) {
            std::string winDir = WinDirOfMsdosSys(Join(dir, msdos));
            std::string host = winDir.empty() ? std::string() : MapUnderRoot(dir, winDir);
            if (!host.empty() && IsDirectory(host) && IsWindowsFolder(host)) {
                r.windowsDirectory = host;
                return r;
            }
        }
    }
    r.problem = Problem::NotAnInstallation;
    return r;
}

bool EnvironmentNamesInstallation() {
    const char* w = std::getenv("SABREL_WINDIR");
    return w && *w;
}

std::string RecentFilePath() {
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/') {
        base = x;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        base = Join(h, ".config");
    } else {
        return std::string();
    }
    return Join(Join(base, "sabrel"), "recent");
}

std::vector<std::string> LoadRecent(const std::string& file) {
    std::vector<std::string> list;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (list.size() < kRecentCount && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        bool printable = std::none_of(line.begin(), line.end(),
                                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
        if (line.empty() || line[0] != '/' || !printable) continue;
        if (std::find(list.begin(), list.end(), line) == list.end()) list.push_back(line);
    }
    return list;
}

bool RememberRecent(const std::string& file, const std::string& windowsDirectory) {
    if (file.empty()) return false;
    std::vector<std::string> list = LoadRecent(file);
    list.erase(std::remove(list.begin(), list.end(), windowsDirectory), list.end());
    list.insert(list.begin(), windowsDirectory);
    if (list.size() > kRecentCount) list.resize(kRecentCount);

    std::string dir = file.substr(0, file.rfind('/'));
    std::string parent = dir.substr(0, dir.rfind('/'));
    mkdir(parent.c_str(), 0700);
    mkdir(dir.c_str(), 0700);
    std::string temp = file + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (const std::string& p : list) out << p << '\n';
        out.flush();
        if (!out) {
            unlink(temp.c_str());
            return false;
        }
    }
    return std::rename(temp.c_str(), file.c_str()) == 0;
}

std::string ChooseInstallation(const std::vector<std::string>& recent, const ChooseFunction& choose,
                               const AlertFunction& alert) {
    std::string path;
    while (choose(recent, &path)) {
        Resolution r = ResolveInstallation(path);
        if (r.problem == Problem::None) return r.windowsDirectory;
        alert(r.problem, path);
    }
    return std::string();
}

}  // namespace sabrel::programs::linux_entry
