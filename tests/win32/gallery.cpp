// SPDX-License-Identifier: MIT
// gallery.exe: shows the program's windows, through the win32 backend, in
// states that a session under Wine cannot reach by a run (Wine loads no
// Windows 9x hives, so every rebuild there stops at the first hive): the
// wizard's running page with one animation frame, its completion page fully
// revealed, and the results report with rows. The smoke test takes its
// screenshots and closes the window with WM_CLOSE.
//
//   gallery running N | done | report
#include <string>

#include "app/form3.h"
#include "app/form_decls.h"
#include "art/artwork.h"
#include "common/texts.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "ui/form.h"
#include "ui/ui.h"
#include "ui/win32/win32_ui.h"

namespace {

using namespace sabrel;

void ShowWizard(const std::string& what) {
    ui::Form form(app::Form1Decl());
    form.SetBackColor(ui::kBlack);
    if (what.rfind("running", 0) == 0) {
        form.Get("nbStage").ShowPage("01");
        const int frame = what.size() > 8 ? what[8] - '0' : 0;
        form.Get("imgFld").SetImage(
            art::kFrameResources[(frame % art::kFrameCount + art::kFrameCount) % art::kFrameCount]);
    } else {
        form.Get("nbStage").ShowPage("03");
        form.Get("imComplete").SetVisible(true);
        form.Get("btReboot").SetVisible(true);
        form.Get("btAbort").SetVisible(true);
    }
    // The window's close command hides the form, which ends the loop.
    form.ShowModal();
}

void ShowReport() {
    app::TForm3 form;
    ui::Control& list = form.Get("lvResult");
    const std::string sep = app::ThousandSeparator();
    list.AddRow({"SYSTEM.DAT", app::FormatThousands(2000000, sep),
                 app::FormatThousands(1234567, sep),
                 app::FormatRatio(1234567.0L / 2000000.0L * 100)});
    list.AddRow({"USER.DAT", app::FormatThousands(1000000, sep), app::FormatThousands(750000, sep),
                 app::FormatRatio(75.0L)});
    // A profile name in the system's own code page.
    const bool japanese = texts::CurrentLanguage() == texts::Language::Japanese;
    list.AddRow({japanese ? "Profiles\\太郎 さん\\USER.DAT" : "Profiles\\Taro\\USER.DAT",
                 app::FormatThousands(262144, sep)});
    form.ShowModal();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // The program's rule: Japanese on code page 932, English elsewhere.
    texts::SetLanguage(texts::LanguageForCodePage(GetACP()));
    platform::win32::Win32Platform platform;
    platform::Set(&platform);
    {
        ui::win32::Win32Ui ui(instance);
        ui::Set(&ui);
        const std::string what = commandLine ? commandLine : "";
        if (what == "report") {
            ShowReport();
        } else {
            ShowWizard(what);
        }
        ui::Set(nullptr);
    }
    platform::Set(nullptr);
    return 0;
}
