// SPDX-License-Identifier: MIT
// Path helpers shared by every subsystem. Paths are DOS paths in the ANSI code
// page (Shift-JIS on the systems Sabrel is made for).
#pragma once

#include <string>

namespace sabrel {

// True when `c` can start a double-byte character in code page 932.
bool IsSjisLeadByte(unsigned char c);

// Replaces the extension of `path` with `ext` (which includes its point).
// The extension starts at the last '.' after the last '\' or ':'; without one,
// `ext` is appended. The path is read as Shift-JIS, so a trail byte 0x5C or 0x2E
// is never taken for a delimiter.
std::string ReplaceExtension(const std::string& path, const std::string& ext);

// "%s\%s": a folder and a name joined with one backslash.
std::string JoinPath(const std::string& folder, const std::string& name);

// The folder part of `path` (everything before the last '\', Shift-JIS aware),
// without a trailing separator; empty when there is none.
std::string ExtractFileDir(const std::string& path);
// The name after the last '\' or ':' (Shift-JIS aware).
std::string ExtractFileName(const std::string& path);

// `path` without the '\' and '/' separators it ends with. A trail byte 0x5C
// ends its double-byte character, not the path, and stays.
std::string TrimTrailingSeparators(const std::string& path);

}  // namespace sabrel
