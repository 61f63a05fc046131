#include "ui/fltk/text.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace sabrel::ui::fltk {

std::string Utf8FromCp932(const std::string& cp932) {
    // Plain ASCII needs no conversion; most captions are short, so skip iconv.
    bool ascii = true;
    for (unsigned char c : cp932) ascii = ascii && c < 0x80;
    if (ascii) return cp932;

    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return cp932;
    std::string out;
    std::vector<char> buffer(cp932.size() * 4 + 16);
    char* in = const_cast<char*>(cp932.data());
    std::size_t inLeft = cp932.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), static_cast<std::size_t>(outPtr - buffer.data()));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // An invalid or cut-off sequence: show one '?' for the byte.
            out.push_back('?');
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
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
