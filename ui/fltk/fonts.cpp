// SPDX-License-Identifier: MIT
#include "ui/fltk/fonts.h"

#include <FL/Fl.H>

#include <string>

namespace sabrel::ui::fltk {

namespace {

// FLTK's Xft names carry their style in the first letter: ' ' plain, 'B' bold,
// 'I' italic, 'P' bold italic. Without the leading space "IPAPGothic" would be
// read as italic "PAPGothic", which does not exist.
constexpr const char* kGothic[4] = {" IPAPGothic", "BIPAPGothic", "IIPAPGothic", "PIPAPGothic"};
constexpr const char* kSans[4] = {" DejaVu Sans", "BDejaVu Sans", "IDejaVu Sans", "PDejaVu Sans"};
// Our faces for Latin-only texts that ask for Arial.
constexpr Fl_Font kSansBase = FL_FREE_FONT;

int Style(bool bold, bool italic) {
    return (bold ? 1 : 0) + (italic ? 2 : 0);
}

}  // namespace

void SetupFonts() {
    for (int i = 0; i < 4; ++i) {
        Fl::set_font(static_cast<Fl_Font>(FL_HELVETICA + i), kGothic[i]);
        Fl::set_font(static_cast<Fl_Font>(kSansBase + i), kSans[i]);
    }
}

Fl_Font FontOf(const FontDecl& control, const FontDecl& form) {
    const std::string& face = control.face.empty() ? form.face : control.face;
    Fl_Font base = FL_HELVETICA;
    if (face == "Arial") base = kSansBase;
    return static_cast<Fl_Font>(base + Style(control.bold, control.italic));
}

int SizeOf(const FontDecl& control, const FontDecl& form) {
    if (control.sizePx > 0) return control.sizePx;
    return form.sizePx > 0 ? form.sizePx : kDefaultFontPx;
}

}  // namespace sabrel::ui::fltk
