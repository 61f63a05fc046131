// SPDX-License-Identifier: MIT
// Fuzzes the hive loader and the compact writer. Any input may be refused,
// with 1009, 1015 or 8 and nothing else; an input that loads must write a
// compact file that loads again and writes the very same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "creg/creg_reader.h"
#include "creg/creg_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sabrel::hive;
    CregTree tree;
    std::uint32_t code = LoadHive(std::vector<std::uint8_t>(data, data + size), &tree);
    if (code != 0) {
        if (code != 1009 && code != 1015 && code != 8) __builtin_trap();
        return 0;
    }
    std::vector<std::uint8_t> saved = CompactBytes(tree);
    if (saved.empty()) return 0;  // a tree the format cannot hold
    CregTree again;
    if (LoadHive(saved, &again) != 0) __builtin_trap();
    if (CompactBytes(again) != saved) __builtin_trap();
    return 0;
}
