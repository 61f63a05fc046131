// SPDX-License-Identifier: MIT
// Writes RGB pictures as PNG files without a compression library: the image
// data goes into stored (uncompressed) deflate blocks, which every PNG reader
// accepts. Used to make the desktop icon and preview sheets of the artwork.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sabrel::art {

// `rgb` holds width * height pixels, row by row, three bytes each.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);
// False when the file cannot be written whole.
bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace sabrel::art
