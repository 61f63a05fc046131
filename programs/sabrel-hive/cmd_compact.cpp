// SPDX-License-Identifier: MIT
// sabrel-hive compact: loads a hive and saves it again through the offline
// registry engine's file functions, as a rebuild does. Like the rebuild, it
// runs the checker first and refuses a hive that the checker does not pass,
// and it publishes the compact file only when it keeps every good and bad key.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "creg/creg_reader.h"
#include "creg/creg_tree.h"
#include "creg/creg_writer.h"
#include "platform/offline/registry/hive_file.h"
#include "programs/sabrel-hive/commands.h"
#include "programs/sabrel-hive/host_hive.h"

namespace sabrel::tool {

namespace {

constexpr char kCompactUsage[] =
    "usage: sabrel-hive compact [--force] [--codepage N] IN OUT\n"
    "\n"
    "Reads the Windows 95/98/Me hive file IN completely and writes its keys and\n"
    "values, in the same order and with the same hashes, as a compact hive OUT\n"
    "without free space. OUT must not exist; it appears whole or not at all.\n"
    "Prints both sizes and the ratio OUT/IN.\n"
    "\n"
    "IN is checked first, as 'sabrel-hive check' does: a hive with a checker\n"
    "status other than 0 or with ghost keys is refused, since the loader may then\n"
    "see only part of it. OUT is written only when its good and bad keys add up\n"
    "to those of IN.\n"
    "\n"
    "options:\n"
    "  --force        compact a hive that the checker does not pass (the count\n"
    "                 of good and bad keys must still match)\n"
    "  --codepage N   ANSI code page of the system the hive comes from (default 932)\n"
    "  -h, --help     show this help\n"
    "\n"
    "exit status: 0 written, 1 IN is refused or not a valid hive, or OUT could not\n"
    "be written or would lose keys, 2 usage error.\n";

int Usage(const char* message, const char* arg) {
    std::fprintf(stderr, "sabrel-hive compact: %s%s\n\n%s", message, arg, kCompactUsage);
    return 2;
}

}  // namespace

int CmdCompact(int argc, char** argv) {
    const char* files[2] = {};
    int n = 0;
    bool force = false;
    unsigned codePage = 932;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            std::fputs(kCompactUsage, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--force")) {
            force = true;
        } else if (!std::strcmp(argv[i], "--codepage")) {
            char* end = nullptr;
            const unsigned long cp = i + 1 < argc ? std::strtoul(argv[i + 1], &end, 10) : 0;
            if (!cp || *end || cp > 65535) return Usage("bad code page", "");
            codePage = static_cast<unsigned>(cp);
            ++i;
        } else if ((argv[i][0] == '-' && argv[i][1]) || n == 2) {
            return Usage("unexpected argument ", argv[i]);
        } else {
            files[n++] = argv[i];
        }
    }
    if (n != 2) return Usage("IN and OUT are needed", "");
    const char* in = files[0];
    const char* out = files[1];

    std::vector<std::uint8_t> image;
    std::string error;
    switch (ReadHostFile(in, &image, &error)) {
        case ReadResult::kOk:
            break;
        case ReadResult::kNoFile:
            std::fprintf(stderr, "sabrel-hive compact: %s: no such file\n", in);
            return 1;
        case ReadResult::kTooLarge:
            std::fprintf(stderr, "sabrel-hive compact: %s: too large for a hive\n", in);
            return 1;
        case ReadResult::kError:
            std::fprintf(stderr, "sabrel-hive compact: %s: cannot read: %s\n", in, error.c_str());
            return 1;
    }
    Verdict before;
    if (!CheckImage(image, codePage, &before)) {
        std::fprintf(stderr, "sabrel-hive compact: %s: too large to check\n", in);
        return 1;
    }
    if (!before.Passes()) {
        if (!force) {
            std::fprintf(stderr,
                         "sabrel-hive compact: %s: the checker does not pass this hive (%s);\n"
                         "nothing written. --force compacts it anyway.\n",
                         in, before.Text().c_str());
            return 1;
        }
        std::fprintf(stderr,
                     "sabrel-hive compact: warning: %s: the checker does not pass this hive "
                     "(%s); compacting it as asked\n",
                     in, before.Text().c_str());
    }
    const std::uint64_t inSize = image.size();
    hive::CregTree tree;
    platform::DWORD code = hive::LoadHive(std::move(image), &tree);
    if (code) {
        std::fprintf(stderr, "sabrel-hive compact: %s: cannot load the hive (error %u)\n", in,
                     code);
        return 1;
    }

    // The compact form is checked before it is written, so that a form that
    // loses keys never appears under OUT, and the written file once more.
    Verdict planned;
    const std::vector<std::uint8_t> compact = hive::CompactBytes(tree);
    if (compact.empty() || !CheckImage(compact, codePage, &planned)) {
        std::fprintf(stderr, "sabrel-hive compact: %s: the hive does not fit a compact file\n", in);
        return 1;
    }
    if (planned.Kept() != before.Kept()) {
        std::fprintf(stderr,
                     "sabrel-hive compact: %s: the compact form would hold %lld good and bad keys "
                     "of %lld (%s); nothing written\n",
                     in, static_cast<long long>(planned.Kept()),
                     static_cast<long long>(before.Kept()), planned.Text().c_str());
        return 1;
    }
    code = platform::offline::SaveHiveFile(tree, 0, out);
    if (code) {
        std::fprintf(stderr, "sabrel-hive compact: %s: cannot save the hive (error %u%s)\n", out,
                     code, code == platform::kErrorAlreadyExists ? ", it exists" : "");
        return 1;
    }
    std::vector<std::uint8_t> written;
    Verdict after;
    if (ReadHostFile(out, &written, &error) != ReadResult::kOk ||
        !CheckImage(written, codePage, &after) || after.Kept() != before.Kept() ||
        after.status != planned.status) {
        ::unlink(out);
        std::fprintf(stderr,
                     "sabrel-hive compact: %s: the written file does not read back as written; "
                     "removed\n",
                     out);
        return 1;
    }
    std::printf("%s: %llu bytes\n%s: %llu bytes\nratio: %.3f\n", in,
                static_cast<unsigned long long>(inSize), out,
                static_cast<unsigned long long>(written.size()),
                inSize ? static_cast<double>(written.size()) / static_cast<double>(inSize) : 0.0);
    return 0;
}

}  // namespace sabrel::tool
