// SPDX-License-Identifier: MIT
// Writes a picture of the artwork as a Windows icon file (.ico) for the
// program's icon resource: 16 x 16 and 32 x 32, each in 16 colours (the
// standard VGA palette that Windows 95 draws 16-colour icons with) and in
// 256 colours (a fixed palette). Fully opaque, like the window's icon.
#pragma once

#include <cstdint>
#include <vector>

#include "art/artwork.h"

namespace sabrel::art {

// The icon file's bytes: the four images, 16-colour ones first.
std::vector<std::uint8_t> EncodeIcon(const Image& picture);

}  // namespace sabrel::art
