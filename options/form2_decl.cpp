// SPDX-License-Identifier: MIT
#include "options/form2_decl.h"

#include "common/texts.h"

namespace sabrel::options {

namespace {

using namespace ui;

// The controls on each tab stand in one column, 24 px apart; a dependent box
// is indented to the right of the box it depends on.
constexpr int kRow0 = 16;
constexpr int kRowStep = 24;
constexpr int kBoxHeight = 17;

int Row(int n) {
    return kRow0 + n * kRowStep;
}

// Boxes directly on a tab sheet start near its top: below two rows of tabs a
// sheet has room for four boxes only when the first stands at 4.
constexpr int kSheetRow0 = 4;

int SheetRow(int n) {
    return kSheetRow0 + n * kRowStep;
}

FormDecl Build() {
    FormDecl f;
    f.name = "Form2";
    f.caption = texts::kOptionsCaption.c_str();
    f.clientWidth = 361;
    f.clientHeight = 352;
    f.border = BorderStyle::Dialog;
    f.titleButtons = false;
    f.centred = true;
    f.font = {DefaultFace(texts::CurrentLanguage()), kDefaultFontPx, false, false};

    auto& c = f.controls;
    c.push_back(LabelDecl("Label1", "", 8, 8, texts::kOptLabel1).Fg(kNavy).Bold().Size(17));
    c.push_back(ListBoxDecl("lbRegs", "", 16, 32, 329, 105)
                    .Size(17)
                    .ItemHeight(17)
                    .MultiSelect()
                    .Items({texts::kHiveSystem, texts::kHiveUser})
                    .TabIndex(0));
    c.push_back(LabelDecl("Label2", "", 8, 144, texts::kOptLabel2).Fg(kMaroon).Bold().Size(17));
    c.push_back(PageControlDecl("pgOption", "", 16, 168, 329, 145).Size(17).TabIndex(1));
    c.push_back(TabSheetDecl("tsDousa", "pgOption", texts::kTabDousa));
    c.push_back(TabSheetDecl("tsBeforeRebld", "pgOption", texts::kTabBeforeRebld));
    c.push_back(TabSheetDecl("tsBckUp", "pgOption", texts::kTabBckUp));
    c.push_back(TabSheetDecl("tsAfterReBld", "pgOption", texts::kTabAfterReBld));
    c.push_back(TabSheetDecl("tsTerminate", "pgOption", texts::kTabTerminate));
    c.push_back(TabSheetDecl("tsReplace", "pgOption", texts::kTabReplace));

    // The operation.
    c.push_back(GroupBoxDecl("gbDousa", "tsDousa", 8, 0, 305, 89));
    c.push_back(
        RadioDecl("rbRebldBckup", "gbDousa", 16, Row(0), 273, kBoxHeight, texts::kRbRebldBckup)
            .Checked());
    c.push_back(
        RadioDecl("rbRebldOnly", "gbDousa", 16, Row(1), 273, kBoxHeight, texts::kRbRebldOnly));
    c.push_back(
        RadioDecl("rbBckupOnly", "gbDousa", 16, Row(2), 273, kBoxHeight, texts::kRbBckupOnly));

    // Before the rebuild.
    c.push_back(CheckBoxDecl("cbCheckReg", "tsBeforeRebld", 16, SheetRow(0), 289, kBoxHeight,
                             texts::kCbCheckReg)
                    .Checked());
    c.push_back(CheckBoxDecl("cbBeforeGhost", "tsBeforeRebld", 16 + 8, SheetRow(1), 281, kBoxHeight,
                             texts::kCbBeforeGhost));

    // The backup.
    c.push_back(GroupBoxDecl("gbBckup", "tsBckUp", 8, 0, 305, 89));
    c.push_back(RadioDecl("rbBUcopy", "gbBckup", 16, Row(0), 273, kBoxHeight, texts::kRbBUcopy));
    c.push_back(
        RadioDecl("rbBUarc", "gbBckup", 16, Row(1), 273, kBoxHeight, texts::kRbBUarc).Checked());
    c.push_back(CheckBoxDecl("cbBUarc_test", "gbBckup", 16 + 16, Row(2), 257, kBoxHeight,
                             texts::kCbBUarcTest)
                    .Checked());

    // After the rebuild.
    c.push_back(CheckBoxDecl("cbCheckReg2", "tsAfterReBld", 16, SheetRow(0), 289, kBoxHeight,
                             texts::kCbCheckReg2)
                    .Checked());
    c.push_back(CheckBoxDecl("cbAfterGhost", "tsAfterReBld", 16 + 8, SheetRow(1), 281, kBoxHeight,
                             texts::kCbAfterGhost));
    c.push_back(CheckBoxDecl("cbIgnoreLost", "tsAfterReBld", 16 + 8, SheetRow(2), 281, kBoxHeight,
                             texts::kCbIgnoreLost));
    c.push_back(CheckBoxDecl("cbSweepDGAP", "tsAfterReBld", 16, SheetRow(3), 289, kBoxHeight,
                             texts::kCbSweepDGAP)
                    .Disabled());

    // How to end.
    c.push_back(GroupBoxDecl("gbAfterRebld", "tsTerminate", 8, 0, 305, 89));
    c.push_back(
        RadioDecl("rbWinReboot", "gbAfterRebld", 16, Row(0), 273, kBoxHeight, texts::kRbWinReboot)
            .Checked());
    c.push_back(
        RadioDecl("rbWinTerm", "gbAfterRebld", 16, Row(1), 273, kBoxHeight, texts::kRbWinTerm));
    c.push_back(
        RadioDecl("rbSBterm", "gbAfterRebld", 16, Row(2), 273, kBoxHeight, texts::kRbSBterm));

    // At the replacement.
    c.push_back(CheckBoxDecl("cbDelFCache", "tsReplace", 16, SheetRow(0), 289, kBoxHeight,
                             texts::kCbDelFCache));
    c.push_back(CheckBoxDecl("cbDelICache", "tsReplace", 16, SheetRow(1), 289, kBoxHeight,
                             texts::kCbDelICache));

    c.push_back(LabelDecl("lbUnlhaVer", "", 16, 323, texts::kUnlhaNotFound)
                    .FixedSize(273, 18)
                    .Fg(kGreen)
                    .Bold()
                    .Size(17));
    c.push_back(ButtonDecl("btOK", "", 296, 320, 49, 25, texts::kButtonOk)
                    .Bold()
                    .Size(15)
                    .Closes(ModalResult::Ok)
                    .TabIndex(2));
    c.push_back(LineBufferDecl("meBat"));
    return f;
}

}  // namespace

const ui::FormDecl& Form2Decl() {
    // One declaration per language, each built the first time it is asked for.
    if (texts::CurrentLanguage() == texts::Language::English) {
        static const ui::FormDecl english = Build();
        return english;
    }
    static const ui::FormDecl japanese = Build();
    return japanese;
}

}  // namespace sabrel::options
