// SPDX-License-Identifier: MIT
// sabrel-hive check: runs the hive checker on host files and prints its status
// and its good, bad and ghost counts, one line per file.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "hive/checker.h"
#include "programs/sabrel-hive/commands.h"
#include "programs/sabrel-hive/host_hive.h"
#include "programs/sabrel-hive/json.h"

namespace sabrel::tool {

namespace {

constexpr char kCheckUsage[] =
    "usage: sabrel-hive check [--json] [--codepage N] FILE...\n"
    "\n"
    "Reads each Windows 95/98/Me hive file and counts its keys as the rebuild's\n"
    "checker does: good keys, bad keys (double-byte names whose hash only matches\n"
    "the double-byte sum) and ghost keys (names that do not match their hash).\n"
    "\n"
    "options:\n"
    "  --json         one JSON object per line:\n"
    "                 {\"file\": ..., \"status\": N, \"good\": N, \"bad\": N, \"ghost\": N}\n"
    "  --codepage N   ANSI code page of the system the hive comes from (default 932);\n"
    "                 a single-byte code page such as 1252 turns double-byte handling off\n"
    "  -h, --help     show this help\n"
    "\n"
    "status: 0 no failure, -1 no such file (or a directory), 1 shorter than 32 bytes,\n"
    "2 no \"CREG\", 3 key-node header cut off, 4 no \"RGKN\", 5 key entry cut off,\n"
    "7 data block header cut off or outside the file, 8 no \"RGDB\", 11 keys refer to\n"
    "records but no data block holds any, 13 the key links form a cycle.\n"
    "A file that exists but cannot be read, or is larger than 2 GiB - 1 bytes, is\n"
    "reported on standard error only.\n"
    "\n"
    "exit status: 0 every file has status 0 and no ghost key, 1 some file has\n"
    "findings or could not be read, 2 usage error.\n";

bool ParseCodePage(const char* text, unsigned* codePage) {
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v == 0 || v > 65535 || text[0] == '-') {
        return false;
    }
    *codePage = static_cast<unsigned>(v);
    return true;
}

int UsageError(const char* message, const char* arg) {
    std::fprintf(stderr, "sabrel-hive check: %s%s\n\n%s", message, arg, kCheckUsage);
    return 2;
}

}  // namespace

int CmdCheck(int argc, char** argv) {
    bool json = false;
    unsigned codePage = 932;
    std::vector<const char*> files;
    bool optionsDone = false;
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        if (optionsDone || a[0] != '-' || a[1] == '\0') {
            files.push_back(a);
        } else if (!std::strcmp(a, "--")) {
            optionsDone = true;
        } else if (!std::strcmp(a, "-h") || !std::strcmp(a, "--help")) {
            std::fputs(kCheckUsage, stdout);
            return 0;
        } else if (!std::strcmp(a, "--json")) {
            json = true;
        } else if (!std::strcmp(a, "--codepage") || !std::strncmp(a, "--codepage=", 11)) {
            const char* value = a[10] == '=' ? a + 11 : (i + 1 < argc ? argv[++i] : nullptr);
            if (!value) return UsageError("--codepage needs a number", "");
            if (!ParseCodePage(value, &codePage)) return UsageError("bad code page: ", value);
        } else {
            return UsageError("unknown option: ", a);
        }
    }
    if (files.empty()) return UsageError("no FILE given", "");

    hive::HiveChecker checker(hive::ByteClasses::ForCodePage(codePage));
    int exitCode = 0;
    std::vector<std::uint8_t> image;
    for (const char* path : files) {
        std::string error;
        checker.status = hive::kCheckOk;
        checker.result = hive::HiveCheckResult{};
        ReadResult read;
        try {
            read = ReadHostFile(path, &image, &error);
        } catch (const std::bad_alloc&) {
            read = ReadResult::kTooLarge;
        }
        if (read == ReadResult::kTooLarge) {
            std::fprintf(stderr, "sabrel-hive check: %s: too large to check\n", path);
            exitCode = 1;
            continue;
        }
        if (read == ReadResult::kError) {
            std::fprintf(stderr, "sabrel-hive check: %s: cannot read: %s\n", path, error.c_str());
            exitCode = 1;
            continue;
        }
        if (read == ReadResult::kNoFile) {
            checker.status = hive::kCheckNoFile;
        } else {
            try {
                checker.CheckImage(image.data(), image.size());
            } catch (const OutOfMemoryError&) {
                std::fprintf(stderr, "sabrel-hive check: %s: too large to check\n", path);
                exitCode = 1;
                continue;
            }
        }
        const hive::HiveCheckResult& r = checker.result;
        if (json) {
            std::printf(
                "{\"file\": \"%s\", \"status\": %d, \"good\": %d, \"bad\": %d, \"ghost\": %d}\n",
                JsonEscape(path).c_str(), checker.status, r.goodKeys, r.badKeys, r.ghostKeys);
        } else {
            std::printf("%s: status %d, good %d, bad %d, ghost %d\n", path, checker.status,
                        r.goodKeys, r.badKeys, r.ghostKeys);
        }
        if (checker.status != hive::kCheckOk || r.ghostKeys != 0) exitCode = 1;
    }
    std::fflush(stdout);
    return exitCode;
}

}  // namespace sabrel::tool
