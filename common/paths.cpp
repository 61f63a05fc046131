// SPDX-License-Identifier: MIT
#include "common/paths.h"

namespace sabrel {

bool IsSjisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

namespace {

// Positions of the last '\' or ':' and of the last '.', scanning by character
// so that the trail byte of a double-byte character is skipped.
struct Delims {
    std::string::size_type lastSep = std::string::npos;
    std::string::size_type lastDot = std::string::npos;
};

Delims Scan(const std::string& path) {
    Delims d;
    for (std::string::size_type i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsSjisLeadByte(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c == '\\' || c == ':') d.lastSep = i;
        if (c == '.') d.lastDot = i;
    }
    return d;
}

}  // namespace

std::string ReplaceExtension(const std::string& path, const std::string& ext) {
    Delims d = Scan(path);
    bool hasExt =
        d.lastDot != std::string::npos && (d.lastSep == std::string::npos || d.lastDot > d.lastSep);
    return (hasExt ? path.substr(0, d.lastDot) : path) + ext;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
}

std::string ExtractFileDir(const std::string& path) {
    std::string::size_type sep = std::string::npos;
    for (std::string::size_type i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsSjisLeadByte(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c == '\\') sep = i;
    }
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string ExtractFileName(const std::string& path) {
    Delims d = Scan(path);
    return d.lastSep == std::string::npos ? path : path.substr(d.lastSep + 1);
}

std::string TrimTrailingSeparators(const std::string& path) {
    std::string::size_type end = 0;  // just past the last character that is no separator
    for (std::string::size_type i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsSjisLeadByte(c) && i + 1 < path.size()) {
            end = ++i + 1;
            continue;
        }
        if (c != '\\' && c != '/') end = i + 1;
    }
    return path.substr(0, end);
}

}  // namespace sabrel
