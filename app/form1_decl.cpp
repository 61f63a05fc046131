// SPDX-License-Identifier: MIT
#include "app/form_decls.h"

#include "art/artwork.h"
#include "common/texts.h"

namespace sabrel::app {

namespace {

using namespace ui;

FormDecl Build() {
    FormDecl f;
    f.name = "Form1";
    f.caption = texts::kMainCaption;
    f.clientWidth = 531;
    f.clientHeight = 292;
    f.border = BorderStyle::Single;
    f.titleButtons = false;
    f.centred = true;
    // Laid out on green; the window turns black at creation.
    f.color = kGreen;
    f.font = {DefaultFace(texts::CurrentLanguage()), kDefaultFontPx, false, false};

    auto& c = f.controls;
    c.push_back(BevelDecl("Bevel1", "", 8, 8, 513, 65));
    c.push_back(LabelDecl("Label5", "", 128, 32, texts::kLabel5).Fg(kWhite).Bold().Size(20));
    c.push_back(NotebookDecl("nbStage", "", 8, 80, 513, 201));
    c.push_back(NotebookPageDecl("00", "nbStage"));
    c.push_back(NotebookPageDecl("01", "nbStage"));
    c.push_back(NotebookPageDecl("02", "nbStage"));
    c.push_back(NotebookPageDecl("03", "nbStage"));

    // Page "00": start.
    c.push_back(LabelDecl("Label2", "00", 56, 32, texts::kLabel2).Fg(kYellow).Bold().Size(17));
    c.push_back(LabelDecl("Label3", "00", 168, 56, texts::kLabel3).Fg(kYellow).Bold().Size(17));
    c.push_back(LabelDecl("Label6", "00", 72, 80, texts::kLabel6Reboot)
                    .FixedSize(369, 15)
                    .Aligned(Align::Center)
                    .Fg(kRed)
                    .Size(15));
    c.push_back(LabelDecl("Label4", "00", 112, 104, texts::kLabel4).Fg(kSilver).Bold().Size(15));
    c.push_back(
        ButtonDecl("btOk", "00", 88, 136, 97, 33, texts::kBtOk).Bold().Size(17).TabIndex(0));
    c.push_back(
        ButtonDecl("btOption", "00", 208, 168, 97, 25, texts::kBtOption).Size(13).TabIndex(1));
    c.push_back(ButtonDecl("btCancel", "00", 328, 136, 97, 33, texts::kBtCancel)
                    .Bold()
                    .Size(17)
                    .TabIndex(2));
    c.push_back(ButtonDecl("btDBG", "00", 328, 176, 97, 17, texts::kBtDbg)
                    .Size(13)
                    .Invisible()
                    .NoTabStop());

    // Page "01": running.
    c.push_back(PictureDecl("imgFld", "01", 216, 32, 64, 64));
    c.push_back(LabelDecl("lbDoing", "01", 144, 128, texts::kLbDoing).Fg(kYellow).Bold().Size(17));

    // Page "02": stopped.
    c.push_back(
        LabelDecl("Label1", "02", 160, 56, texts::kLabel1Stopped).Fg(kWhite).Bold().Size(17));
    c.push_back(ButtonDecl("btFin1", "02", 184, 120, 145, 33, texts::kBtFin1).Bold().Size(17));

    // Page "03": completed.
    c.push_back(
        PictureDecl("imComplete", "03", 216, 32, 64, 64).Image(art::kCompleteResource).Invisible());
    c.push_back(LabelDecl("Label7", "03", 104, 120, texts::kLabel7Done).Fg(kAqua).Bold().Size(17));
    c.push_back(ButtonDecl("btReboot", "03", 88, 144, 337, 33, texts::kBtRebootReboot)
                    .Bold()
                    .Size(17)
                    .Invisible()
                    .TabIndex(0));
    c.push_back(ButtonDecl("btAbort", "03", 400, 8, 107, 17, texts::kBtAbort)
                    .Size(13)
                    .Invisible()
                    .TabIndex(1));

    // The credit line overlaps the notebook's lower edge, so it comes after it.
    c.push_back(LabelDecl("Label9", "", 224, 278, texts::kLabel9Credit)
                    .FixedSize(299, 15)
                    .Aligned(Align::Right)
                    .Fg(kOlive)
                    .Face("Arial")
                    .Italic()
                    .Size(12));

    c.push_back(TimerDecl("Timer1", 125, true));
    std::vector<std::string> frames(std::begin(art::kFrameResources),
                                    std::end(art::kFrameResources));
    c.push_back(ImageListDecl("ilImgLst", art::kSize, art::kSize, frames));
    return f;
}

}  // namespace

const ui::FormDecl& Form1Decl() {
    // One declaration per language, each built the first time it is asked for.
    if (texts::CurrentLanguage() == texts::Language::English) {
        static const ui::FormDecl english = Build();
        return english;
    }
    static const ui::FormDecl japanese = Build();
    return japanese;
}

}  // namespace sabrel::app
