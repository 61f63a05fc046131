// SPDX-License-Identifier: MIT
// An independent reading of a compact hive file: checks the invariants that
// real Windows-written files keep and the compact layout the engine promises,
// field by field. Returns an empty string when everything holds, else the
// first rule broken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sabrel::test {

std::string CheckCompactForm(const std::vector<std::uint8_t>& file);

}  // namespace sabrel::test
