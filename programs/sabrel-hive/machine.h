// SPDX-License-Identifier: MIT
// A demo Windows 9x installation on disk, for the wizard's demo and the
// program's end-to-end tests: DIR/WINDOWS with fragmented hives, the profile
// hives, the font and icon caches, and a SYSTEM.DAT whose values give the
// version, the logon user and the code page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sabrel::tool {

struct MachineOptions {
    bool me = false;             // Windows Me: 4.90.3000 and CLASSES.DAT
    std::string user = "Guest";  // the last logged-on user (UTF-8)
    // Profile folders under WINDOWS\Profiles, each with a USER.DAT (UTF-8; u8
    // literals, since plain literals are compiled to code page 932).
    std::vector<std::string> profiles = {"Taro", u8"山田 花子"};
    std::uint64_t seed = 1;
    std::uint32_t keys = 400;  // keys of SYSTEM.DAT; the others get fewer
    std::uint32_t ghosts = 0;  // ghost keys in SYSTEM.DAT
};

// Writes the installation under `dir` (created when missing). False with a
// message in *error when a file cannot be written.
bool MakeMachine(const std::string& dir, const MachineOptions& options, std::string* error);

}  // namespace sabrel::tool
