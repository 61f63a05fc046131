// SPDX-License-Identifier: MIT
// sabrel-hive make: synthesizes a hive file (see creg/synth.h).

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "creg/synth.h"
#include "platform/offline/host_files.h"
#include "programs/sabrel-hive/commands.h"

namespace sabrel::tool {

namespace {

constexpr char kMakeUsage[] =
    "usage: sabrel-hive make [OPTIONS] OUT\n"
    "\n"
    "Writes a synthesized Windows 95/98/Me hive file to OUT, which must not exist.\n"
    "The same options and seed always give the same bytes.\n"
    "\n"
    "tree:\n"
    "  --seed N           random seed (default 1)\n"
    "  --keys N           keys in a random tree below the root (default 100)\n"
    "  --max-values N     values per key, 0 to N (default 6); every type occurs\n"
    "  --max-data N       bytes of data per value, at most (default 64)\n"
    "  --deep N           add a chain of N nested keys\n"
    "  --wide N           add a key with N children\n"
    "  --big-keys N       add N keys whose record is larger than a 60 KiB block\n"
    "  --root-record      give the root entry a record (an empty name and values)\n"
    "  --size BYTES       add keys until the file is about BYTES long (suffix K, M, G)\n"
    "names:\n"
    "  --ghosts N         add N keys whose stored hash does not match the name\n"
    "  --sjis N           add N keys with double-byte Shift-JIS names ...\n"
    "  --sjis-bad M       ... of which M store the code page 932 name sum (bad keys);\n"
    "                     the others store the single-byte sum (ghost keys)\n"
    "  --kana N           add N keys with half-width katakana names (good keys)\n"
    "layout:\n"
    "  --fragmented       scatter keys and records, with free key slots, free\n"
    "                     records and slack, as in a hive that has long been in use\n"
    "  --orphans N        with --fragmented: N records that no key refers to\n"
    "installation (SYSTEM.DAT values; any of these adds all three):\n"
    "  --install-version S   version number, e.g. 4.10.2222\n"
    "  --install-user S      last logged-on user\n"
    "  --install-acp S       ANSI code page, e.g. 932\n"
    "output:\n"
    "  --json             print {\"file\", \"size\", \"keys\", \"values\", \"blocks\", \"good\",\n"
    "                     \"bad\", \"ghost\"} instead of a sentence\n"
    "  -h, --help         show this help\n"
    "\n"
    "The counts are those the checker gives with code page 932.\n"
    "exit status: 0 written, 1 the file could not be written, 2 usage error.\n";

bool ParseCount(const char* text, std::uint64_t* out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long n = std::strtoull(text, &end, 10);
    if (errno || end == text || text[0] == '-') return false;
    std::uint64_t scale = 1;
    if (*end == 'K' || *end == 'k')
        scale = 1024, ++end;
    else if (*end == 'M' || *end == 'm')
        scale = 1024 * 1024, ++end;
    else if (*end == 'G' || *end == 'g')
        scale = 1024ull * 1024 * 1024, ++end;
    if (*end) return false;
    *out = n * scale;
    return true;
}

std::string Quoted(const char* text) {
    std::string s = "\"";
    for (const char* p = text; *p; ++p) {
        if (*p == '"' || *p == '\\') s += '\\';
        s += *p;
    }
    return s + "\"";
}

int Usage(const char* why) {
    std::fprintf(stderr, "sabrel-hive make: %s\n\n%s", why, kMakeUsage);
    return 2;
}

}  // namespace

int CmdMake(int argc, char** argv) {
    hive::SynthOptions o;
    hive::InstallationValues install;
    bool withInstall = false, json = false;
    const char* out = nullptr;
    struct Count {
        const char* name;
        std::uint32_t* field;
    };
    const Count counts[] = {
        {"--keys", &o.keys},        {"--max-values", &o.maxValues},
        {"--max-data", &o.maxData}, {"--deep", &o.deep},
        {"--wide", &o.wide},        {"--big-keys", &o.bigKeys},
        {"--ghosts", &o.ghosts},    {"--sjis", &o.sjis},
        {"--sjis-bad", &o.sjisBad}, {"--kana", &o.kana},
        {"--orphans", &o.orphans},
    };
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "-h" || a == "--help") {
            std::fputs(kMakeUsage, stdout);
            return 0;
        }
        if (a == "--fragmented") {
            o.fragmented = true;
            continue;
        }
        if (a == "--root-record") {
            o.rootRecord = true;
            continue;
        }
        if (a == "--json") {
            json = true;
            continue;
        }
        if (a.rfind("--install-", 0) == 0) {
            if (!next) return Usage(("missing value after " + a).c_str());
            withInstall = true;
            if (a == "--install-version")
                install.versionNumber = next;
            else if (a == "--install-user")
                install.user = next;
            else if (a == "--install-acp")
                install.codePage = next;
            else
                return Usage(("unknown option " + a).c_str());
            ++i;
            continue;
        }
        bool matched = false;
        std::uint64_t n = 0;
        if (a == "--seed" || a == "--size") {
            if (!ParseCount(next, &n)) return Usage(("bad number after " + a).c_str());
            (a == "--seed" ? o.seed : o.targetSize) = n;
            matched = true;
        }
        for (const Count& c : counts) {
            if (a != c.name) continue;
            if (!ParseCount(next, &n) || n > 0xFFFFFFFFu) {
                return Usage(("bad number after " + a).c_str());
            }
            *c.field = static_cast<std::uint32_t>(n);
            matched = true;
        }
        if (matched) {
            ++i;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') return Usage(("unknown option " + a).c_str());
        if (out) return Usage("only one output file");
        out = argv[i];
    }
    if (!out) return Usage("no output file");
    if (o.sjisBad > o.sjis) return Usage("--sjis-bad is larger than --sjis");
    if (o.maxData > 16300) return Usage("--max-data is at most 16300 (the Windows 9x value limit)");
    if (o.targetSize > 0x70000000u) return Usage("--size is at most 1792M");

    hive::SynthStats stats;
    std::vector<std::uint8_t> bytes = hive::Synthesize(o, &stats, withInstall ? &install : nullptr);
    if (bytes.empty()) {
        std::fprintf(stderr, "sabrel-hive make: the tree does not fit a hive file\n");
        return 1;
    }
    // Never replaces an existing file.
    const platform::DWORD code = platform::offline::WriteHostFileBytes(
        out, platform::offline::kTempPrefix, platform::offline::Publish::kNoReplace,
        platform::offline::NewFileMode(), bytes.data(), bytes.size());
    if (code) {
        std::fprintf(stderr, "sabrel-hive make: %s: %s [%u]\n", out,
                     code == platform::kErrorAlreadyExists ? "the file exists" : "write failed",
                     static_cast<unsigned>(code));
        return 1;
    }
    if (json) {
        std::printf(
            "{\"file\": %s, \"size\": %zu, \"keys\": %llu, \"values\": %llu, \"blocks\": %u, "
            "\"good\": %u, \"bad\": %u, \"ghost\": %u}\n",
            Quoted(out).c_str(), bytes.size(), static_cast<unsigned long long>(stats.keys),
            static_cast<unsigned long long>(stats.values), stats.blocks, stats.good, stats.bad,
            stats.ghost);
    } else {
        std::printf("%s: %zu bytes, %llu keys, %llu values, %u blocks; good %u, bad %u, ghost %u\n",
                    out, bytes.size(), static_cast<unsigned long long>(stats.keys),
                    static_cast<unsigned long long>(stats.values), stats.blocks, stats.good,
                    stats.bad, stats.ghost);
    }
    return 0;
}

}  // namespace sabrel::tool
