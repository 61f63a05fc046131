// SPDX-License-Identifier: MIT
#include "programs/sabrel-hive/machine.h"

#include <filesystem>
#include <fstream>
#include <random>

#include "common/text_conversion.h"
#include "creg/synth.h"

namespace sabrel::tool {

namespace fs = std::filesystem;

namespace {

// UTF-8 to code page 932 bytes; the text unchanged when it cannot convert.
std::string ToCp932(const std::string& utf8) {
    return ConvertedOrSame("UTF-8", "CP932", utf8);
}

bool WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes, std::string* error) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (!f) {
        *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

std::vector<std::uint8_t> Hive(std::uint64_t seed, std::uint32_t keys, std::uint32_t ghosts,
                               const hive::InstallationValues* install) {
    hive::SynthOptions o;
    o.seed = seed;
    o.keys = keys;
    o.ghosts = ghosts;
    o.kana = keys / 20;  // good keys whose names hold bytes of 0x80 and up
    o.fragmented = true;
    o.orphans = keys / 25;
    return hive::Synthesize(o, nullptr, install);
}

std::vector<std::uint8_t> Noise(std::uint64_t seed, std::size_t size) {
    std::mt19937_64 rng(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(rng());
    return bytes;
}

}  // namespace

bool MakeMachine(const std::string& dir, const MachineOptions& options, std::string* error) {
    const fs::path windows = fs::path(dir) / "WINDOWS";
    hive::InstallationValues install;
    install.versionNumber = options.me ? "4.90.3000" : "4.10.2222";
    install.user = ToCp932(options.user);
    install.codePage = "932";

    const std::uint64_t seed = options.seed;
    const std::uint32_t keys = options.keys;
    if (!WriteFile(windows / "SYSTEM.DAT", Hive(seed, keys, options.ghosts, &install), error) ||
        !WriteFile(windows / "USER.DAT", Hive(seed + 1, keys / 2, 0, nullptr), error)) {
        return false;
    }
    if (options.me &&
        !WriteFile(windows / "CLASSES.DAT", Hive(seed + 2, keys / 2, 0, nullptr), error)) {
        return false;
    }
    std::uint64_t n = 0;
    for (const std::string& profile : options.profiles) {
        fs::path hivePath = windows / "Profiles" / profile / "USER.DAT";
        if (!WriteFile(hivePath, Hive(seed + 10 + n, keys / 4, 0, nullptr), error)) return false;
        ++n;
    }
    return WriteFile(windows / "ttfCache", Noise(seed + 20, 4096), error) &&
           WriteFile(windows / "ShellIconCache", Noise(seed + 21, 8192), error);
}

}  // namespace sabrel::tool
