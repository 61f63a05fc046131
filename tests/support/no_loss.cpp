// SPDX-License-Identifier: MIT
#include "tests/support/no_loss.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "creg/creg_tree.h"
#include "hive/checker.h"
#include "platform/offline/codepage.h"
#include "platform/offline/dos_paths.h"
#include "platform/offline/registry/hive_file.h"
#include "platform/offline/restart.h"

namespace sabrel::test {

namespace {

using platform::offline::CodePage;
using platform::offline::DosDirEntry;
using platform::offline::DosPaths;

bool ReadFile(const std::string& host, std::string* out) {
    std::ifstream f(host, std::ios::binary);
    if (!f) return false;
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

bool Exists(const std::string& host) {
    struct stat st;
    return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The host path of `name` in `dir`, found as FAT finds it (case ignored).
std::string Find(const std::string& dir, const std::string& name) {
    CodePage cp(932);
    std::vector<DosDirEntry> entries;
    if (platform::offline::ListDosDirectory(dir, cp, &entries)) {
        for (const DosDirEntry& e : entries) {
            if (cp.EqualNoCase(e.longName, name)) return dir + "/" + e.hostName;
        }
    }
    return std::string();
}

std::string Hex(const std::uint8_t* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return CodePage(932).EqualNoCase(a, b);
}

struct Verdict {
    bool ok = false;
    std::string why;
};

// A rebuilt file stands for `hive` when the checker passes it without ghost
// keys and it holds the same keys and values.
Verdict Verify(const std::string& host, const HiveSnapshot& hive) {
    std::string bytes;
    if (!ReadFile(host, &bytes)) return {false, "cannot be read"};
    hive::HiveChecker checker(hive::ByteClasses::ForCodePage(932));
    checker.CheckImage(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (checker.status != 0) return {false, "checker status " + std::to_string(checker.status)};
    if (checker.result.ghostKeys != 0) return {false, "ghost keys"};
    if (LogicalContent(host) != hive.content) return {false, "keys or values differ"};
    return {true, ""};
}

const HiveSnapshot* HiveAt(const InstallationSnapshot& s, const std::string& host) {
    for (const HiveSnapshot& h : s.hives) {
        if (h.host == host) return &h;
    }
    return nullptr;
}

DosPaths PathsOf(const InstallationSnapshot& s) {
    return DosPaths(platform::offline::DriveCOf(s.hostWindir), CodePage(932));
}

}  // namespace

std::string LogicalContent(const std::string& hostPath) {
    hive::CregTree tree;
    if (platform::offline::LoadHiveFile(hostPath, &tree) != 0) return std::string();
    std::string out;
    std::vector<std::pair<std::uint32_t, std::string>> stack{{0, ""}};
    while (!stack.empty()) {
        auto [k, path] = stack.back();
        stack.pop_back();
        const hive::CregKey& key = tree.Key(k);
        out += "K " + path + (key.hasRecord ? "" : " (no record)") + "\n";
        hive::CregTree::ValueReader values = tree.Values(key);
        for (hive::CregValue v; values.Next(&v);) {
            out += "V " + Hex(tree.Name(v), v.nameLength) + " " + std::to_string(v.type) + " " +
                   Hex(tree.Data(v), v.dataLength) + "\n";
        }
        std::vector<std::uint32_t> children;
        for (std::uint32_t c = key.firstChild; c != hive::kNoKey; c = tree.Key(c).nextSibling) {
            children.push_back(c);
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            const hive::CregKey& c = tree.Key(*it);
            stack.emplace_back(*it, path + "\\" + Hex(tree.Name(c), c.nameLength));
        }
    }
    return out;
}

InstallationSnapshot TakeSnapshot(const std::string& hostWindir) {
    InstallationSnapshot s;
    s.hostWindir = hostWindir;
    CodePage cp(932);
    std::string name = hostWindir.substr(hostWindir.rfind('/') + 1);
    std::string windir;
    cp.FromHost(name, &windir);
    windir = "C:\\" + windir;
    std::vector<std::pair<std::string, std::string>> candidates;  // host, DOS
    for (const char* h : {"SYSTEM.DAT", "USER.DAT", "CLASSES.DAT"}) {
        candidates.emplace_back(Find(hostWindir, h), windir + "\\" + h);
    }
    std::string profiles = Find(hostWindir, "Profiles");
    std::vector<DosDirEntry> entries;
    if (!profiles.empty() && platform::offline::ListDosDirectory(profiles, cp, &entries)) {
        for (const DosDirEntry& e : entries) {
            candidates.emplace_back(Find(profiles + "/" + e.hostName, "USER.DAT"),
                                    windir + "\\Profiles\\" + e.longName + "\\USER.DAT");
        }
    }
    DosPaths paths = PathsOf(s);
    for (const auto& [host, dos] : candidates) {
        HiveSnapshot h;
        if (host.empty() || !ReadFile(host, &h.bytes)) continue;
        h.host = host;
        platform::DWORD error = 0;
        if (!paths.ShortPath(dos, &h.dos, &error)) h.dos = dos;
        h.content = LogicalContent(host);
        s.hives.push_back(std::move(h));
    }
    return s;
}

std::vector<std::pair<std::string, std::string>> RenameEntries(const std::string& text,
                                                               std::vector<std::string>* bad) {
    std::vector<std::pair<std::string, std::string>> entries;
    if (text.find('\0') != std::string::npos) bad->push_back("WININIT.INI holds a NUL byte");
    bool inRename = false;
    int renameSections = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            std::size_t close = line.find(']');
            inRename =
                close != std::string::npos && EqualNoCase(line.substr(1, close - 1), "Rename");
            if (inRename && ++renameSections == 2) bad->push_back("a second [Rename] section");
            continue;
        }
        if (!inRename) continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) {
            bad->push_back("WININIT.INI line that is no entry: " + line);
            continue;
        }
        entries.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    return entries;
}

std::vector<std::string> CheckNoLoss(const InstallationSnapshot& before, bool restarted) {
    std::vector<std::string> v;
    for (const HiveSnapshot& h : before.hives) {
        std::string now;
        if (!ReadFile(h.host, &now)) {
            v.push_back(h.dos + ": the hive is missing");
        } else if (now != h.bytes) {
            if (!restarted) {
                v.push_back(h.dos + ": the hive changed while Windows ran");
            } else if (Verdict r = Verify(h.host, h); !r.ok) {
                v.push_back(h.dos + ": replaced by a file that does not stand for it (" + r.why +
                            ")");
            }
        }
    }

    DosPaths paths = PathsOf(before);
    std::string ini = Find(before.hostWindir, "WININIT.INI");
    std::string text;
    if (!ini.empty() && ReadFile(ini, &text)) {
        std::set<std::string> replaced;
        for (const auto& [key, value] : RenameEntries(text, &v)) {
            if (EqualNoCase(key, "NUL")) continue;
            DosPaths::Mapping src, dst;
            if (!paths.Map(value, &src) || !src.exists || !Exists(src.host)) {
                v.push_back("WININIT.INI entry " + key + "=" + value + " names a missing file");
                continue;
            }
            if (!paths.Map(key, &dst)) continue;
            const HiveSnapshot* hive = HiveAt(before, dst.host);
            if (!hive) continue;
            if (!replaced.insert(dst.host).second) {
                v.push_back("WININIT.INI replaces " + key + " twice");
            }
            if (Verdict r = Verify(src.host, *hive); !r.ok) {
                v.push_back("WININIT.INI entry " + key + "=" + value + ": " + r.why);
            }
        }
    }

    std::string help = Find(before.hostWindir, "HELP");
    std::string batch = help.empty() ? std::string() : Find(help, "SBRCOVER.BAT");
    if (!batch.empty() && ReadFile(batch, &text)) {
        std::size_t at = 0;
        while ((at = text.find("IF EXIST ", at)) != std::string::npos) {
            std::size_t eol = text.find('\r', at);
            std::string line = text.substr(at + 9, eol == std::string::npos ? eol : eol - at - 9);
            at += 9;
            std::size_t del = line.find(" DEL ");
            if (del == std::string::npos) {
                v.push_back("SBRCOVER.BAT: unreadable line IF EXIST " + line);
                continue;
            }
            std::string backup = line.substr(0, del), hivePath = line.substr(del + 5);
            DosPaths::Mapping b, h;
            if (!paths.Map(backup, &b) || !b.exists) {
                v.push_back("SBRCOVER.BAT names a missing backup " + backup);
                continue;
            }
            const HiveSnapshot* hive = paths.Map(hivePath, &h) ? HiveAt(before, h.host) : nullptr;
            if (!hive) {
                v.push_back("SBRCOVER.BAT restores " + hivePath + ", which is no hive");
                continue;
            }
            std::string copy;
            if (backup.size() > 4 && EqualNoCase(backup.substr(backup.size() - 4), ".BEF") &&
                (!ReadFile(b.host, &copy) || copy != hive->bytes)) {
                v.push_back("SBRCOVER.BAT names " + backup + ", which is not a copy of " +
                            hivePath);
            }
        }
    }
    return v;
}

std::vector<std::string> StrictRestart(const InstallationSnapshot& before) {
    using platform::offline::RenameOutcome;
    std::vector<std::string> problems;
    DosPaths paths = PathsOf(before);
    platform::offline::RestartResult r = platform::offline::CarryOutWininit(
        paths, before.hostWindir, platform::offline::RestartMode::kStrict);
    if (r.claimError) {
        problems.push_back("WININIT.INI could not be claimed [" + std::to_string(r.claimError) +
                           "]");
    }
    for (const RenameOutcome& o : r.outcomes) {
        DosPaths::Mapping dst;
        bool hive = paths.Map(o.key, &dst) && HiveAt(before, dst.host);
        if (o.result == RenameOutcome::Result::kDestinationLost && hive) {
            problems.push_back(o.key + ": deleted at the restart, " + o.value + " is missing");
        } else if (o.result == RenameOutcome::Result::kFailed) {
            problems.push_back(o.key + "=" + o.value + ": failed at the restart [" +
                               std::to_string(o.error) + "]");
        }
    }
    return problems;
}

}  // namespace sabrel::test
