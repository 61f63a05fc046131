// SPDX-License-Identifier: MIT
#include "creg/name_sum.h"

namespace sabrel::hive {

void ByteClasses::SetLeadRange(unsigned lo, unsigned hi) {
    for (unsigned b = lo; b <= hi && b < 256; ++b) lead[b] = true;
}

ByteClasses ByteClasses::ForCodePage(unsigned codePage) {
    ByteClasses c;
    switch (codePage) {
        case 932:
            c.dbcs = true;
            c.SetLeadRange(0x81, 0x9F);
            c.SetLeadRange(0xE0, 0xFC);
            return c;
        case 936:
        case 949:
        case 950:
            c.dbcs = true;
            c.SetLeadRange(0x81, 0xFE);
            return c;
        case 1361:
            c.dbcs = true;
            c.SetLeadRange(0x84, 0xD3);
            c.SetLeadRange(0xD8, 0xDE);
            c.SetLeadRange(0xE0, 0xF9);
            return c;
        default:
            return c;
    }
}

// A byte is a trail byte when an odd number of lead-set bytes stands right
// before it; `run` counts them as we go, by value, whatever their own class.
std::uint32_t NameSum(const std::uint8_t* name, std::size_t length, const ByteClasses& classes) {
    std::uint32_t sum = 0;
    std::size_t run = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = name[i];
        const bool inSet = classes.dbcs && classes.lead[b];
        const bool doubleByte = (run & 1) != 0 || inSet;
        if (doubleByte) {
            sum += b ^ 0x80u;
        } else if (b >= 0x61 && b <= 0x7A) {
            sum += b - 0x20u;
        } else if (!(b >= 0xA1 && b <= 0xDF)) {
            sum += b;
        }
        run = inSet ? run + 1 : 0;
    }
    return sum;
}

std::uint32_t SingleByteSum(const std::uint8_t* name, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = name[i];
        if (b >= 0x61 && b <= 0x7A) {
            sum += b - 0x20u;
        } else if (b < 0x80) {
            sum += b;
        }
    }
    return sum;
}

}  // namespace sabrel::hive
