// sabrel: the Linux program. It works on the Windows 9x installation whose
// Windows directory SABREL_WINDIR names (the offline platform) and shows the
// wizard through FLTK. Like the Windows program it takes nothing on its
// command line.
#include <cstdio>
#include <cstdlib>

#include "app/program.h"
#include "platform/offline/offline_platform.h"
#include "platform/platform.h"
#include "ui/fltk/fltk_ui.h"
#include "ui/ui.h"

int main() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fputs(
            "sabrel: no X display (DISPLAY is not set). Start it from a desktop session, or\n"
            "under a virtual display: xvfb-run sabrel\n",
            stderr);
        return 1;
    }
    sabrel::platform::offline::OfflinePlatform platform;
    sabrel::platform::Set(&platform);
    int rc = 0;
    {
        sabrel::ui::fltk::FltkUi ui;
        sabrel::ui::Set(&ui);
        rc = sabrel::app::RunProgram(sabrel::app::Host::Offline);
        sabrel::ui::Set(nullptr);
    }
    sabrel::platform::Set(nullptr);
    return rc;
}
