// SPDX-License-Identifier: MIT
// What the commands' --json output shares.
#pragma once

#include <string>

namespace sabrel::tool {

// JSON string body: quotes, backslashes and control characters escaped;
// bytes that do not form UTF-8 are written as \u00XX so the line stays valid.
std::string JsonEscape(const std::string& s);

}  // namespace sabrel::tool
