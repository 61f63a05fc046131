// SPDX-License-Identifier: MIT
#include "platform/offline/short_names.h"

#include <cstdint>
#include <set>

namespace sabrel::platform::offline {

namespace {

bool IsInvalidInShortName(std::uint8_t c) {
    if (c < 0x20) return true;
    switch (c) {
        case '"':
        case '*':
        case '+':
        case ',':
        case '/':
        case ':':
        case ';':
        case '<':
        case '=':
        case '>':
        case '?':
        case '[':
        case '\\':
        case ']':
        case '|':
        case 0x7F:
            return true;
        default:
            return false;
    }
}

// Copies the characters of in[begin, end) into `out`, leaving out spaces and
// periods, until `limit` bytes are used; returns whether anything was left over.
bool CopyPart(const std::string& in, std::size_t begin, std::size_t end, std::size_t limit,
              const CodePage& cp, std::string* out, bool* lossy) {
    std::size_t i = begin;
    while (i < end) {
        auto c = static_cast<std::uint8_t>(in[i]);
        if (c == ' ' || c == '.') {  // spaces and embedded periods are stripped
            *lossy = true;
            ++i;
            continue;
        }
        std::size_t len = (cp.IsLeadByte(c) && i + 1 < end) ? 2 : 1;
        if (out->size() + len > limit) return true;
        if (len == 1 && IsInvalidInShortName(c)) {
            out->push_back('_');
            *lossy = true;
        } else {
            out->append(in, i, len);
        }
        i += len;
    }
    return false;
}

// Position of the last period that is a character of its own (not a trail byte).
std::size_t LastPeriod(const std::string& s, const CodePage& cp) {
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<std::uint8_t>(s[i]);
        if (cp.IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (c == '.') last = i;
    }
    return last;
}

std::size_t FirstPeriod(const std::string& s, const CodePage& cp) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<std::uint8_t>(s[i]);
        if (cp.IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (c == '.') return i;
    }
    return std::string::npos;
}

}  // namespace

std::string ShortNameBasis(const std::string& longName, const CodePage& cp, bool* exact) {
    std::string upper = cp.UpperAscii(longName);
    bool lossy = false;
    // Leading periods and spaces go first.
    std::size_t start = 0;
    while (start < upper.size() && (upper[start] == '.' || upper[start] == ' ')) {
        ++start;
        lossy = true;
    }
    std::string body = upper.substr(start);
    // Every period but the last is dropped; the name is what comes before it.
    std::size_t lastDot = LastPeriod(body, cp);
    std::size_t nameEnd = lastDot == std::string::npos ? body.size() : lastDot;

    std::string name;
    if (CopyPart(body, 0, nameEnd, 8, cp, &name, &lossy)) lossy = true;
    std::string ext;
    if (lastDot != std::string::npos) {
        if (CopyPart(body, lastDot + 1, body.size(), 3, cp, &ext, &lossy)) lossy = true;
    }
    if (name.empty()) {
        name = "_";
        lossy = true;
    }
    std::string basis = ext.empty() ? name : name + "." + ext;
    // A trailing period with nothing after it cannot be kept.
    *exact = !lossy && basis == upper;
    return basis;
}

std::string ShortNameWithTail(const std::string& basis, unsigned n, const CodePage& cp) {
    std::string tail = "~" + std::to_string(n);
    std::size_t dot = FirstPeriod(basis, cp);
    std::string name = basis.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : basis.substr(dot);
    std::size_t room = tail.size() >= 8 ? 0 : 8 - tail.size();
    std::string cut;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t len =
            (cp.IsLeadByte(static_cast<std::uint8_t>(name[i])) && i + 1 < name.size()) ? 2 : 1;
        if (cut.size() + len > room) break;
        cut.append(name, i, len);
        i += len;
    }
    return cut + tail + ext;
}

std::vector<std::string> AssignShortNames(const std::vector<std::string>& longNames,
                                          const CodePage& cp) {
    std::vector<std::string> aliases(longNames.size());
    std::vector<std::string> bases(longNames.size());
    std::set<std::string> taken;
    // Names that are 8.3 already claim themselves first, so that no generated
    // alias can hide a real name.
    for (std::size_t i = 0; i < longNames.size(); ++i) {
        bool exact = false;
        bases[i] = ShortNameBasis(longNames[i], cp, &exact);
        if (exact && taken.insert(bases[i]).second) aliases[i] = bases[i];
    }
    for (std::size_t i = 0; i < longNames.size(); ++i) {
        if (!aliases[i].empty()) continue;
        for (unsigned n = 1;; ++n) {
            std::string candidate = ShortNameWithTail(bases[i], n, cp);
            if (taken.insert(candidate).second) {
                aliases[i] = candidate;
                break;
            }
        }
    }
    return aliases;
}

}  // namespace sabrel::platform::offline
