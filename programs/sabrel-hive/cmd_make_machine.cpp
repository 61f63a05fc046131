// SPDX-License-Identifier: MIT
// sabrel-hive make-machine: writes a demo Windows 9x installation.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "programs/sabrel-hive/commands.h"
#include "programs/sabrel-hive/machine.h"

namespace sabrel::tool {

namespace {

constexpr char kHelp[] =
    "usage: sabrel-hive make-machine [OPTIONS] DIR\n"
    "\n"
    "Writes a Windows 95/98/Me installation under DIR: DIR/WINDOWS with\n"
    "fragmented SYSTEM.DAT and USER.DAT (and CLASSES.DAT with --me), a USER.DAT\n"
    "per profile under WINDOWS/Profiles, ttfCache and ShellIconCache. SYSTEM.DAT\n"
    "holds the version, the last logged-on user and the code page (932).\n"
    "\n"
    "options:\n"
    "  --me            Windows Me (4.90.3000) with CLASSES.DAT; default Windows 98\n"
    "  --user NAME     the logged-on user (default Guest)\n"
    "  --profile NAME  a profile folder; repeat for more (default: Taro and a\n"
    "                  Japanese name with a space)\n"
    "  --keys N        keys of SYSTEM.DAT (default 400)\n"
    "  --ghosts N      ghost keys in SYSTEM.DAT (default 0)\n"
    "  --seed N        seed of the generated hives (default 1)\n";

bool Number(const char* text, unsigned long long* out) {
    char* end = nullptr;
    *out = std::strtoull(text, &end, 10);
    return *text && end && !*end;
}

}  // namespace

int CmdMakeMachine(int argc, char** argv) {
    MachineOptions options;
    bool profilesGiven = false;
    const char* dir = nullptr;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        unsigned long long n = 0;
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--me") {
            options.me = true;
        } else if (a == "--user" && value(&v)) {
            options.user = v;
        } else if (a == "--profile" && value(&v)) {
            if (!profilesGiven) options.profiles.clear();
            profilesGiven = true;
            options.profiles.push_back(v);
        } else if (a == "--keys" && value(&v) && Number(v, &n) && n > 0 && n < 1000000) {
            options.keys = static_cast<std::uint32_t>(n);
        } else if (a == "--ghosts" && value(&v) && Number(v, &n) && n < 1000000) {
            options.ghosts = static_cast<std::uint32_t>(n);
        } else if (a == "--seed" && value(&v) && Number(v, &n)) {
            options.seed = n;
        } else if (!a.empty() && a[0] != '-' && !dir) {
            dir = argv[i];
        } else {
            std::fprintf(stderr, "sabrel-hive make-machine: bad argument '%s'\n\n%s", argv[i],
                         kHelp);
            return 2;
        }
    }
    if (!dir) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    std::string error;
    if (!MakeMachine(dir, options, &error)) {
        std::fprintf(stderr, "sabrel-hive make-machine: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s/WINDOWS: Windows %s, user %s\n", dir, options.me ? "Me" : "98",
                options.user.c_str());
    return 0;
}

}  // namespace sabrel::tool
