// SPDX-License-Identifier: MIT
// Sabrel's pictures, drawn by code into RGB buffers so that every backend
// (FLTK on Linux, the native controls on Windows) shows the same pixels:
// four frames of a figure forcing the lid of an overfull suitcase shut, and the
// figure standing beside the closed suitcase. All are 64 x 64, fully opaque on
// black. No toolkit and no operating-system service is used here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sabrel::art {

inline constexpr int kSize = 64;
inline constexpr int kFrameCount = 4;

// Pixels row by row from the top, three bytes (red, green, blue) each.
using Image = std::array<std::uint8_t, std::size_t{kSize} * kSize * 3>;

// Frame `index` (taken modulo kFrameCount) of the running animation.
Image AnimationFrame(int index);
// The figure beside the closed suitcase, shown when the run is done.
Image CompletionPicture();

// Resource names by which forms refer to the pictures (an image list's items,
// a picture's image): the frames in order, then the completion picture.
inline constexpr const char* kFrameResources[kFrameCount] = {"ANIM0", "ANIM1", "ANIM2", "ANIM3"};
inline constexpr char kCompleteResource[] = "COMPLETE";

// The picture of that resource name; false, leaving `out` alone, when there is none.
bool FindPicture(const std::string& name, Image* out);

}  // namespace sabrel::art
