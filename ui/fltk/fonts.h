// SPDX-License-Identifier: MIT
// Fonts for the FLTK backend. The forms ask for "ＭＳ Ｐゴシック"; IPA P Gothic
// (fonts-ipafont-gothic) has the same metrics and stands in for it. FLTK's Xft
// layer has no per-glyph fallback, so every face a widget may use by default
// (FL_HELVETICA and its styles) is mapped to IPA P Gothic as well, or
// Japanese in such a widget would show as boxes. The English forms ask for
// "MS Sans Serif" and get IPA P Gothic too: its Latin letters are as narrow,
// and the Japanese names an installation holds (its profiles) still show.
#pragma once

#include <FL/Enumerations.H>

#include "ui/form_decl.h"

namespace sabrel::ui::fltk {

// Registers the faces; call once before the first widget is drawn.
void SetupFonts();

// The FLTK font for a control's font over its form's default font.
Fl_Font FontOf(const FontDecl& control, const FontDecl& form);
// The size in pixels, taking the form's default when the control has none.
int SizeOf(const FontDecl& control, const FontDecl& form);

}  // namespace sabrel::ui::fltk
