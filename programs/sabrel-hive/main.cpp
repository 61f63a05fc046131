// SPDX-License-Identifier: MIT
// sabrel-hive: the command-line companion for Windows 9x registry hive files.
#include <cstdio>
#include <cstring>

#include "common/texts.h"
#include "programs/sabrel-hive/commands.h"

namespace {

constexpr char kUsage[] =
    "usage: sabrel-hive COMMAND [OPTIONS] ARGS...\n"
    "\n"
    "Inspect, compact, synthesize and rebuild Windows 95/98/Me registry hive files.\n"
    "\n"
    "commands:\n"
    "  check [--json] [--codepage N] FILE...   count good, bad and ghost keys\n"
    "  dump [--codepage N] FILE                print the key and value tree\n"
    "  compact [--force] IN OUT                rewrite a hive that the checker passes\n"
    "                                          in compact form\n"
    "  make [OPTIONS] OUT                      synthesize a hive file\n"
    "  make-machine [OPTIONS] DIR              write a demo Windows 9x installation\n"
    "  rebuild [OPTIONS]                       the wizard's whole run on an installation\n"
    "                                          on disk, without a window\n"
    "\n"
    "Run 'sabrel-hive COMMAND --help' for the options of one command.\n"
    "Exit codes: 0 success, 1 findings or failure, 2 usage error.\n";

struct Command {
    const char* name;
    int (*run)(int, char**);
};

constexpr Command kCommands[] = {
    {"check", sabrel::tool::CmdCheck},
    {"dump", sabrel::tool::CmdDump},
    {"compact", sabrel::tool::CmdCompact},
    {"make", sabrel::tool::CmdMake},
    {"make-machine", sabrel::tool::CmdMakeMachine},
    {"rebuild", sabrel::tool::CmdRebuild},
};

}  // namespace

int main(int argc, char** argv) {
    // Texts from the program's table (those of a rebuild) follow the locale.
    sabrel::texts::SetLanguage(sabrel::texts::LanguageFromEnvironment());
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (!std::strcmp(argv[1], c.name)) return c.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "sabrel-hive: unknown command '%s'\n\n%s", argv[1], kUsage);
    return 2;
}
