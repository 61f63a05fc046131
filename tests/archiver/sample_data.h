// SPDX-License-Identifier: MIT
// Inputs for the archiver's tests and benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace sabrel::archiver::testing {

inline std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    return v;
}

// Bytes shaped like a Windows 9x hive: a key-entry table of fixed 28-byte
// records with growing numbers, then data blocks of key records with names,
// CLSIDs, file paths, DWORDs and some binary values.
inline std::vector<std::uint8_t> HiveLike(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v;
    v.reserve(n + 512);
    auto u32 = [&](std::uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    };
    auto text = [&](const std::string& s) { v.insert(v.end(), s.begin(), s.end()); };
    text("CREG");
    u32(0x10000);
    const std::size_t entries = n / 10 / 28;
    text("RGKN");
    for (std::size_t i = 0; i < entries; ++i) {
        u32(0);
        u32(static_cast<std::uint32_t>(0x20 + 28 * (i + 1)));
        u32(static_cast<std::uint32_t>(0x20 + 28 * (rng() % (i + 1))));
        u32(0xFFFFFFFF);
        u32(static_cast<std::uint32_t>(i * 3));
        u32(static_cast<std::uint32_t>(i & 0xFFFF) | (static_cast<std::uint32_t>(i >> 8) << 16));
        u32(rng() % 4 ? 0xFFFFFFFF : rng());
    }
    static const char* const words[] = {"Software",
                                        "Microsoft",
                                        "Windows",
                                        "CurrentVersion",
                                        "Explorer",
                                        "Shell Folders",
                                        "CLSID",
                                        "InprocServer32",
                                        "ThreadingModel",
                                        "Apartment",
                                        "DefaultIcon",
                                        "Control Panel",
                                        "System",
                                        "CurrentControlSet",
                                        "Services",
                                        "VxD",
                                        "Enum",
                                        "Root",
                                        "HardwareID",
                                        "Class",
                                        "DriverDesc",
                                        "ProviderName",
                                        "Mfg",
                                        "Display",
                                        "Network",
                                        "MSTCP",
                                        "Description"};
    const std::size_t nwords = sizeof words / sizeof words[0];
    char buf[96];
    while (v.size() < n) {
        text("RGDB");
        for (int k = 0; k < 64 && v.size() < n; ++k) {
            u32(static_cast<std::uint32_t>(rng() % 4096));
            u32(static_cast<std::uint32_t>(v.size()));
            std::string name;
            switch (rng() % 4) {
                case 0:
                    std::snprintf(buf, sizeof buf, "{%08X-%04X-11CF-%04X-00AA00%06X}",
                                  static_cast<unsigned>(rng()),
                                  static_cast<unsigned>(rng() & 0xFFFF),
                                  static_cast<unsigned>(rng() & 0xFFFF),
                                  static_cast<unsigned>(rng() & 0xFFFFFF));
                    name = buf;
                    break;
                default:
                    name = words[rng() % nwords];
                    if (rng() % 3 == 0) name += std::to_string(rng() % 100);
            }
            u32(static_cast<std::uint32_t>(name.size()));
            text(name);
            int values = static_cast<int>(rng() % 4);
            for (int j = 0; j < values; ++j) {
                u32(rng() % 2 ? 1 : 4);
                std::string value;
                switch (rng() % 3) {
                    case 0:
                        value =
                            "C:\\WINDOWS\\SYSTEM\\" + std::string(words[rng() % nwords]) + ".DLL";
                        break;
                    case 1:
                        for (int b = 0; b < 4; ++b) value.push_back(static_cast<char>(rng()));
                        break;
                    default:
                        value = words[rng() % nwords];
                }
                u32(static_cast<std::uint32_t>(value.size()));
                text(value);
            }
        }
    }
    v.resize(n);
    return v;
}

}  // namespace sabrel::archiver::testing
