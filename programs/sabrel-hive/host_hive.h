// SPDX-License-Identifier: MIT
// Host files for the commands: a hive file read whole, and the checker's
// verdict on it, for the commands that look at a hive before acting on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hive/checker.h"

namespace sabrel::tool {

enum class ReadResult { kOk, kNoFile, kTooLarge, kError };

// Reads the file at `path` whole. kNoFile for a missing file or a directory,
// kTooLarge beyond the format's reach, kError with the reason in *error.
ReadResult ReadHostFile(const char* path, std::vector<std::uint8_t>* out, std::string* error);

// What the checker says about one image.
struct Verdict {
    std::int32_t status = hive::kCheckOk;
    hive::HiveCheckResult counts;

    // What a rebuild accepts without asking: no failure and no ghost key.
    bool Passes() const { return status == hive::kCheckOk && counts.ghostKeys == 0; }
    // The keys a faithful copy keeps: good and bad ones.
    std::int64_t Kept() const {
        return static_cast<std::int64_t>(counts.goodKeys) + counts.badKeys;
    }
    // "status S, good G, bad B, ghost H"
    std::string Text() const;
};

// Checks `image` as the rebuild's checker does with the given code page.
// False when the image is too large to be checked.
bool CheckImage(const std::vector<std::uint8_t>& image, unsigned codePage, Verdict* verdict);

}  // namespace sabrel::tool
