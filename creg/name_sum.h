// SPDX-License-Identifier: MIT
// The sums of key names that a Windows 9x hive stores as each key's hash, and
// the byte classes of the code page they depend on. Keys whose stored hash
// matches neither sum are the ones the loader cannot find.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sabrel::hive {

// Which bytes of a name can start a double-byte character.
struct ByteClasses {
    bool dbcs = false;    // false: every byte is a single byte
    bool lead[256] = {};  // the lead-byte set, used only when dbcs

    // The classes of a code page by number: 932, 936, 949, 950 and 1361 are
    // double-byte; every other number (1252, 437, ...) is single-byte.
    static ByteClasses ForCodePage(unsigned codePage);
    static ByteClasses SingleByte() { return ByteClasses{}; }
    // Adds the bytes lo..hi (inclusive, at most 255) to the lead-byte set.
    void SetLeadRange(unsigned lo, unsigned hi);
};

// The name sums, over `length` bytes at `name` (a name ends at its first zero
// byte, so callers pass the bytes before it).
std::uint32_t NameSum(const std::uint8_t* name, std::size_t length, const ByteClasses& classes);
std::uint32_t SingleByteSum(const std::uint8_t* name, std::size_t length);

}  // namespace sabrel::hive
