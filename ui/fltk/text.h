// SPDX-License-Identifier: MIT
// Text at the FLTK boundary: the program's texts are code page 932 bytes,
// FLTK draws UTF-8. Conversion happens here and nowhere else.
#pragma once

#include <string>

namespace sabrel::ui::fltk {

// Bytes that are no valid code page 932 character come out as '?', one per
// byte, so that a damaged text still shows and never stops the conversion.
std::string Utf8FromCp932(const std::string& cp932);

// Messages join lines with CR LF; FLTK breaks lines at LF alone.
std::string DisplayText(const std::string& cp932);

}  // namespace sabrel::ui::fltk
