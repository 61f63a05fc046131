// SPDX-License-Identifier: MIT
// sabrel: the Linux program. It works on the Windows 9x installation that
// SABREL_WINDIR names, else its argument (a Windows folder, a drive root, a
// disk image), else the one the user picks in a chooser before the wizard
// opens; the offline platform then reads it and the wizard shows through FLTK.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/program.h"
#include "common/texts.h"
#include "platform/offline/offline_platform.h"
#include "platform/platform.h"
#include "programs/linux/chooser.h"
#include "programs/linux/installation.h"
#include "ui/fltk/fltk_ui.h"
#include "ui/fltk/text.h"
#include "ui/ui.h"

namespace entry = sabrel::programs::linux_entry;

int main(int argc, char** argv) {
    sabrel::texts::SetLanguage(sabrel::texts::LanguageFromEnvironment());
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fputs(
            "sabrel: no X display (DISPLAY is not set). Start it from a desktop session, or\n"
            "under a virtual display: xvfb-run sabrel [PATH]\n",
            stderr);
        return 1;
    }
    int rc = 0;
    {
        sabrel::ui::fltk::FltkUi ui;
        // The installation is settled before the platform reads SABREL_WINDIR.
        const char* image = std::getenv("SABREL_IMAGE");
        if (argc > 1 && !entry::EnvironmentNamesInstallation() && !(image && *image) &&
            entry::ResolveInstallation(argv[1]).problem == entry::Problem::ImageUnsupported) {
            // A regular file is a disk image: our FAT engine opens it.
            setenv("SABREL_IMAGE", argv[1], 1);
            image = argv[1];
        }
        if (!entry::EnvironmentNamesInstallation() && !(image && *image)) {
            std::string windir;
            if (argc > 1) {
                entry::Resolution r = entry::ResolveInstallation(argv[1]);
                if (r.problem != entry::Problem::None) {
                    std::fprintf(stderr, "sabrel: %s\n",
                                 entry::ProblemText(r.problem, argv[1]).c_str());
                    entry::AlertProblem(r.problem, argv[1]);
                    return 1;
                }
                windir = r.windowsDirectory;
            } else {
                windir = entry::ChooseInstallation(entry::LoadRecent(entry::RecentFilePath()),
                                                   entry::ChooseWithDialog, entry::AlertProblem);
                if (windir.empty()) return 0;
            }
            entry::RememberRecent(entry::RecentFilePath(), windir);
            setenv("SABREL_WINDIR", windir.c_str(), 1);
        }
        std::string tail = sabrel::ui::fltk::Utf8FromCp932(sabrel::texts::kTitleInstallation);
        std::size_t at = tail.find("%s");
        tail.replace(at, 2, image && *image ? image : std::getenv("SABREL_WINDIR"));
        sabrel::ui::fltk::FltkUi::SetTitleTail(tail);

        std::string message;
        auto platform = sabrel::platform::offline::OfflinePlatform::OpenFromEnvironment(&message);
        if (!platform) {
            std::string text = sabrel::ui::fltk::Utf8FromCp932(message.c_str());
            std::fprintf(stderr, "sabrel: %s\n", text.c_str());
            entry::AlertText(text);
            return 1;
        }
        sabrel::platform::Set(platform.get());
        sabrel::ui::Set(&ui);
        rc = sabrel::app::RunProgram(sabrel::app::Host::Offline);
        sabrel::ui::Set(nullptr);
        sabrel::platform::Set(nullptr);
    }
    return rc;
}
