// SPDX-License-Identifier: MIT
// libFuzzer target for the offline platform's parsers: INI text edits, DOS
// path parsing and alias generation. Input: INI text, section, key, value and
// a path, separated by NUL bytes. Beyond not crashing, a clean entry written
// into any text must read back, and deleting it must remove it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/offline/codepage.h"
#include "platform/offline/dos_paths.h"
#include "platform/offline/profile.h"
#include "platform/offline/short_names.h"

using namespace sabrel::platform::offline;

namespace {

bool Clean(const std::string& s, const CodePage& cp, const char* banned) {
    std::string utf8;
    if (s.empty() || !cp.ToHost(s, &utf8)) return false;
    if (s.front() == ' ' || s.back() == ' ' || s.front() == '\t' || s.back() == '\t') return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<std::uint8_t>(s[i]);
        if (cp.IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (c < 0x20 || std::string(banned).find(static_cast<char>(c)) != std::string::npos)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const CodePage cp(932);
    std::vector<std::string> parts(5);
    std::size_t part = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && part + 1 < parts.size()) {
            ++part;
            continue;
        }
        parts[part].push_back(static_cast<char>(data[i]));
    }
    std::string text = parts[0];
    const std::string &section = parts[1], &key = parts[2], &value = parts[3], &path = parts[4];

    std::string edited = text;
    profile::Write(&edited, section, &key, &value, cp);
    profile::SectionNames(edited, cp);
    profile::Entries(edited, section, cp);
    std::string found;
    if (Clean(section, cp, "[]") && Clean(key, cp, "=;[\"'") && Clean(value, cp, "\"'")) {
        if (!profile::Find(edited, section, key, &found, cp) || found != value) std::abort();
        profile::Write(&edited, section, &key, nullptr, cp);
        std::string again;
        bool stillThere = profile::Find(edited, section, key, &again, cp);
        // Only a second entry of the same key (already in the text) may remain.
        if (stillThere && !profile::Find(text, section, key, &again, cp)) std::abort();
    }
    std::string sectionGone = text;
    profile::Write(&sectionGone, section, nullptr, nullptr, cp);

    std::vector<std::string> names{section, key, value, path};
    std::vector<std::string> aliases = AssignShortNames(names, cp);
    std::set<std::string> unique(aliases.begin(), aliases.end());
    if (unique.size() != aliases.size()) std::abort();
    for (const auto& a : aliases) {
        if (a.size() > 12) std::abort();
    }

    DosPaths paths("/nonexistent-sabrel-fuzz", cp);
    DosPaths::Mapping m;
    paths.Map(path, &m);
    std::string folder, last;
    paths.SplitLast(path, &folder, &last);
    return 0;
}
