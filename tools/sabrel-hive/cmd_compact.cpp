// sabrel-hive compact: loads a hive and saves it again through the offline
// registry engine's file functions, as a rebuild does.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "hive/creg_tree.h"
#include "platform/offline/registry/hive_file.h"
#include "tools/sabrel-hive/commands.h"

namespace sabrel::tool {

namespace {

constexpr char kCompactUsage[] =
    "usage: sabrel-hive compact IN OUT\n"
    "\n"
    "Reads the Windows 95/98/Me hive file IN completely and writes its keys and\n"
    "values, in the same order and with the same hashes, as a compact hive OUT\n"
    "without free space. OUT must not exist; it appears whole or not at all.\n"
    "Prints both sizes and the ratio OUT/IN.\n"
    "\n"
    "exit status: 0 written, 1 IN is not a valid hive or OUT could not be written,\n"
    "2 usage error.\n";

}  // namespace

int CmdCompact(int argc, char** argv) {
    const char* files[2] = {};
    int n = 0;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            std::fputs(kCompactUsage, stdout);
            return 0;
        }
        if ((argv[i][0] == '-' && argv[i][1]) || n == 2) {
            std::fprintf(stderr, "sabrel-hive compact: unexpected argument %s\n\n%s", argv[i],
                         kCompactUsage);
            return 2;
        }
        files[n++] = argv[i];
    }
    if (n != 2) {
        std::fprintf(stderr, "sabrel-hive compact: IN and OUT are needed\n\n%s", kCompactUsage);
        return 2;
    }
    hive::CregTree tree;
    platform::DWORD code = platform::offline::LoadHiveFile(files[0], &tree);
    if (code) {
        std::fprintf(stderr, "sabrel-hive compact: %s: cannot load the hive (error %u)\n", files[0],
                     code);
        return 1;
    }
    std::uint64_t inSize = tree.PoolSize();
    code = platform::offline::SaveHiveFile(tree, 0, files[1]);
    if (code) {
        std::fprintf(stderr, "sabrel-hive compact: %s: cannot save the hive (error %u%s)\n",
                     files[1], code, code == platform::kErrorAlreadyExists ? ", it exists" : "");
        return 1;
    }
    struct stat st;
    std::uint64_t outSize = ::stat(files[1], &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    std::printf("%s: %llu bytes\n%s: %llu bytes\nratio: %.3f\n", files[0],
                static_cast<unsigned long long>(inSize), files[1],
                static_cast<unsigned long long>(outSize),
                inSize ? static_cast<double>(outSize) / static_cast<double>(inSize) : 0.0);
    return 0;
}

}  // namespace sabrel::tool
