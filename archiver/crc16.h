// SPDX-License-Identifier: MIT
// CRC-16 of LZH archives (the "ARC" variant: reflected polynomial 0xA001,
// initial value 0, no final XOR). It covers the original bytes of a member and,
// for level-2 headers, the header itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sabrel::archiver {

// Continues a running CRC over `size` more bytes.
std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* data, std::size_t size);

inline std::uint16_t Crc16(const std::uint8_t* data, std::size_t size) {
    return Crc16Update(0, data, size);
}

}  // namespace sabrel::archiver
