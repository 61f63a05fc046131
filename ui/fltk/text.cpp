// SPDX-License-Identifier: MIT
#include "ui/fltk/text.h"

#include "common/text_conversion.h"

namespace sabrel::ui::fltk {

std::string Utf8FromCp932(const std::string& cp932) {
    // Plain ASCII needs no conversion; most captions are short, so skip iconv.
    bool ascii = true;
    for (unsigned char c : cp932) ascii = ascii && c < 0x80;
    if (ascii) return cp932;

    std::string out;
    // An invalid or cut-off sequence shows as one '?' for each byte.
    if (!ConvertText("CP932", "UTF-8", cp932, &out, BadInput::kReplaceByte, "?")) return cp932;
    return out;
}

std::string DisplayText(const std::string& cp932) {
    std::string text = Utf8FromCp932(cp932);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace sabrel::ui::fltk
