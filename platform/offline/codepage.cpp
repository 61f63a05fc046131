// SPDX-License-Identifier: MIT
#include "platform/offline/codepage.h"

#include <cstring>

#include "common/text_conversion.h"

namespace sabrel::platform::offline {

namespace {

struct DbcsRanges {
    UINT codePage;
    std::uint8_t ranges[12];
};

// The double-byte code pages of Windows and their lead-byte ranges.
constexpr DbcsRanges kDbcs[] = {
    {932, {0x81, 0x9F, 0xE0, 0xFC}},
    {936, {0x81, 0xFE}},
    {949, {0x81, 0xFE}},
    {950, {0x81, 0xFE}},
    {1361, {0x84, 0xD3, 0xD8, 0xDE, 0xE0, 0xF9}},
};

constexpr UINT kSingleByte[] = {437,  737,  775,  850,  852,  855,  857, 860,  861,
                                862,  863,  864,  865,  866,  869,  874, 1250, 1251,
                                1252, 1253, 1254, 1255, 1256, 1257, 1258};

std::string IconvName(UINT cp) {
    switch (cp) {
        case 936:
            return "GBK";
        case 949:
            return "CP949";
        case 950:
            return "BIG5";
        case 1361:
            return "JOHAB";
        default:
            return "CP" + std::to_string(cp);
    }
}

bool IsUtf8(const std::string& s) {
    std::string ignored;
    return ConvertText("UTF-8", "UTF-32LE", s, &ignored);
}

}  // namespace

bool DescribeCodePage(UINT codePage, CpInfo* info) {
    *info = CpInfo{};
    for (const auto& d : kDbcs) {
        if (d.codePage != codePage) continue;
        info->MaxCharSize = 2;
        std::memcpy(info->LeadByte, d.ranges, sizeof info->LeadByte);
        return true;
    }
    for (UINT cp : kSingleByte) {
        if (cp == codePage) return true;
    }
    return false;
}

CodePage::CodePage(UINT number) : number_(number), iconvName_(IconvName(number)) {
    CpInfo info;
    if (DescribeCodePage(number, &info))
        std::memcpy(leadRanges_, info.LeadByte, sizeof leadRanges_);
}

bool CodePage::IsLeadByte(std::uint8_t c) const {
    for (int i = 0; i + 1 < 12 && leadRanges_[i] != 0; i += 2) {
        if (c >= leadRanges_[i] && c <= leadRanges_[i + 1]) return true;
    }
    return false;
}

bool CodePage::ToHost(const std::string& ansi, std::string* utf8) const {
    // A lead byte at the very end has no trail byte: not a valid name.
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        if (IsLeadByte(static_cast<std::uint8_t>(ansi[i]))) {
            if (i + 1 >= ansi.size()) return false;
            ++i;
        }
    }
    return ConvertText(iconvName_, "UTF-8", ansi, utf8);
}

bool CodePage::FromHost(const std::string& utf8, std::string* ansi, bool* lossless) const {
    if (!IsUtf8(utf8)) return false;
    return ConvertText("UTF-8", iconvName_, utf8, ansi, BadInput::kReplaceCharacter, "?", lossless);
}

std::string CodePage::UpperAscii(const std::string& ansi) const {
    std::string out = ansi;
    for (std::size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<std::uint8_t>(out[i]);
        if (IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool CodePage::EqualNoCase(const std::string& a, const std::string& b) const {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

}  // namespace sabrel::platform::offline
