// SPDX-License-Identifier: MIT
#include "app/form_decls.h"

#include "common/texts.h"

namespace sabrel::app {

namespace {

using namespace ui;

FormDecl Build() {
    FormDecl f;
    f.name = "Form3";
    f.caption = texts::kMainCaption;
    f.clientWidth = 539;
    f.clientHeight = 311;
    f.border = BorderStyle::Dialog;
    f.titleButtons = false;
    f.centred = true;
    f.color = kNavy;
    f.font = {DefaultFace(texts::CurrentLanguage()), kDefaultFontPx, false, false};

    auto& c = f.controls;
    c.push_back(LabelDecl("Label5", "", 32, 16, texts::kResultHeading).Fg(kWhite).Bold().Size(20));
    // Unsorted; each column is sized to fit the texts of its rows.
    c.push_back(ListViewDecl("lvResult", "", 16, 48, 505, 209,
                             {{texts::kColPath, Align::Left, 0},
                              {texts::kColBefore, Align::Right, 0},
                              {texts::kColAfter, Align::Right, 0},
                              {texts::kColRatio, Align::Right, 0}})
                    .Size(17)
                    .TabIndex(0));
    c.push_back(ButtonDecl("btOK", "", 216, 272, 105, 25, texts::kButtonOk)
                    .Bold()
                    .Size(15)
                    .Closes(ModalResult::Ok)
                    .TabIndex(1));
    return f;
}

}  // namespace

const ui::FormDecl& Form3Decl() {
    // One declaration per language, each built the first time it is asked for.
    if (texts::CurrentLanguage() == texts::Language::English) {
        static const ui::FormDecl english = Build();
        return english;
    }
    static const ui::FormDecl japanese = Build();
    return japanese;
}

}  // namespace sabrel::app
