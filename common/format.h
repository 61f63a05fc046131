// SPDX-License-Identifier: MIT
// printf-style formatting into a std::string, for the message texts of the
// texts table (code page 932 bytes pass through unchanged).
#pragma once

#include <string>

namespace sabrel {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Format(const char* fmt, ...);

}  // namespace sabrel
