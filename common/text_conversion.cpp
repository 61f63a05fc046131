// SPDX-License-Identifier: MIT
#include "common/text_conversion.h"

#include <iconv.h>

#include <cerrno>

namespace sabrel {

namespace {

// The length of the UTF-8 character that starts with `lead`; 0 for a byte
// that cannot start one.
std::size_t Utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC0) return 0;
    return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

bool ConvertText(const std::string& from, const std::string& to, const std::string& in,
                 std::string* out, BadInput bad, const char* replacement, bool* lossless) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out->clear();
    if (lossless) *lossless = true;
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buf[256];
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out->append(buf, static_cast<std::size_t>(dst - buf));
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        std::size_t skip = 0;
        if (bad == BadInput::kReplaceByte) {
            skip = 1;
        } else if (bad == BadInput::kReplaceCharacter && errno == EILSEQ) {
            skip = Utf8Length(static_cast<unsigned char>(*src));
            if (skip > srcLeft) skip = 0;
        }
        if (skip == 0) {
            ok = false;
            break;
        }
        src += skip;
        srcLeft -= skip;
        out->append(replacement);
        if (lossless) *lossless = false;
        // A skipped byte may have left a character half read.
        if (bad == BadInput::kReplaceByte) iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    if (ok) {
        // A stateful target ends in its initial state.
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        out->append(buf, static_cast<std::size_t>(dst - buf));
    }
    iconv_close(cd);
    return ok;
}

std::string ConvertedOrSame(const std::string& from, const std::string& to, const std::string& in) {
    std::string out;
    return ConvertText(from, to, in, &out) ? out : in;
}

}  // namespace sabrel
