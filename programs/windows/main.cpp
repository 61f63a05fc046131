// SPDX-License-Identifier: MIT
// sabrel.exe: the Windows 95/98/Me program. The real Win32 platform under the
// native-control backend; like every start of Sabrel it takes nothing on its
// command line.
#include "app/program.h"
#include "common/texts.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "ui/ui.h"
#include "ui/win32/win32_ui.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Japanese needs code page 932 to show; any other system reads English.
    sabrel::texts::SetLanguage(sabrel::texts::LanguageForCodePage(GetACP()));
    sabrel::platform::win32::Win32Platform platform;
    sabrel::platform::Set(&platform);
    int rc = 0;
    {
        sabrel::ui::win32::Win32Ui ui(instance);
        sabrel::ui::Set(&ui);
        rc = sabrel::app::RunProgram();
        sabrel::ui::Set(nullptr);
    }
    sabrel::platform::Set(nullptr);
    return rc;
}
