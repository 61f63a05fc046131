// SPDX-License-Identifier: MIT
#include "app/program.h"

#include <string>

#include "app/form1.h"
#include "app/form3.h"
#include "common/paths.h"
#include "common/texts.h"
#include "hive/checker.h"
#include "options/form2.h"
#include "platform/platform.h"
#include "ui/ui.h"

namespace sabrel::app {

TForm1* Form1 = nullptr;
options::TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
hive::TForm4* Form4 = nullptr;

namespace {

// Clears the program-wide references when the forms go.
struct References {
    ~References() {
        Form1 = nullptr;
        Form2 = nullptr;
        Form3 = nullptr;
        Form4 = nullptr;
    }
};

// True when the Windows directory can be read and holds SYSTEM.DAT, or is too
// long to read, which the main window's creation reports itself.
bool InstallationPresent() {
    platform::Platform& p = platform::Get();
    char dir[128] = {};
    const platform::UINT n = p.GetWindowsDirectoryA(dir, 125);
    if (n >= 125) return true;
    if (n == 0) return false;
    const std::string hive = JoinPath(dir, texts::kHiveSystem);
    const platform::DWORD attributes = p.GetFileAttributesA(hive.c_str());
    return attributes != platform::kInvalidFileAttributes &&
           !(attributes & platform::kAttrDirectory);
}

}  // namespace

int RunProgram(Host host) {
    ui::Ui& u = ui::Get();
    // While this copy searches it carries another title, so it never finds
    // itself.
    u.SetAppTitle(texts::kAppTitleBoot);
    if (ui::AnotherInstanceRunning()) {
        u.PostQuit();
        return 0;
    }
    u.SetAppTitle(texts::kAppTitle);
    if (host == Host::Offline && !InstallationPresent()) {
        ui::ShowMessage(texts::kMsgNoInstallation);
        u.PostQuit();
        return 1;
    }
    ui::ClaimInstance();

    References references;
    TForm1 form1;
    Form1 = &form1;
    form1.FormCreate();
    options::TForm2 form2(options::MainWindowLink{form1.IsLastRelease, &form1.Get("btOk")});
    Form2 = &form2;
    TForm3 form3;
    Form3 = &form3;
    hive::TForm4 form4(hive::ByteClassesFromPlatform(platform::Get()));
    Form4 = &form4;

    form1.Show();
    return u.Run();
}

}  // namespace sabrel::app
