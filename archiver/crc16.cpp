// SPDX-License-Identifier: MIT
#include "archiver/crc16.h"

#include <array>

namespace sabrel::archiver {

namespace {

std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
        table[i] = static_cast<std::uint16_t>(c);
    }
    return table;
}

}  // namespace

std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* data, std::size_t size) {
    static const std::array<std::uint16_t, 256> table = MakeTable();
    unsigned c = crc;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return static_cast<std::uint16_t>(c);
}

}  // namespace sabrel::archiver
