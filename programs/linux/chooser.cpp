// SPDX-License-Identifier: MIT
#include "programs/linux/chooser.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_ask.H>

#include <cstdio>
#include <utility>

#include "common/texts.h"
#include "ui/fltk/text.h"

namespace sabrel::programs::linux_entry {
namespace {

std::string U(const char* cp932) {
    return ui::fltk::Utf8FromCp932(cp932);
}

// Asks the native file chooser for a folder or a file; false on Cancel.
bool Browse(bool folder, std::string* path) {
    Fl_Native_File_Chooser chooser;
    std::string title = U(texts::kChooserCaption);
    std::string filter = U(texts::kChooserImageFilter);
    chooser.title(title.c_str());
    chooser.type(folder ? Fl_Native_File_Chooser::BROWSE_DIRECTORY
                        : Fl_Native_File_Chooser::BROWSE_FILE);
    if (!folder) chooser.filter(filter.c_str());
    if (chooser.show() != 0 || !chooser.filename() || !*chooser.filename()) return false;
    *path = chooser.filename();
    return true;
}

enum class Pick { None, Cancel, Open, Folder, Image };

}  // namespace

bool ChooseWithDialog(const std::vector<std::string>& recent, std::string* path) {
    for (;;) {
        Pick pick = Pick::None;
        std::string caption = U(texts::kChooserCaption), label = U(texts::kChooserRecent),
                    where = U(texts::kChooserPath);
        std::string open = U(texts::kChooserOpen), folder = U(texts::kChooserFolder),
                    image = U(texts::kChooserImage), cancel = U(texts::kChooserCancel);
        Fl_Double_Window win(520, 250, caption.c_str());
        win.xclass("SabrelChooser");
        Fl_Box heading(10, 8, 500, 20, label.c_str());
        heading.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        Fl_Hold_Browser list(10, 30, 500, 130);
        for (const std::string& r : recent) list.add(r.c_str());
        Fl_Input typed(70, 170, 440, 25, where.c_str());
        if (!recent.empty()) {
            list.value(1);
            typed.value(recent.front().c_str());
        }
        Fl_Return_Button openButton(10, 210, 117, 30, open.c_str());
        Fl_Button folderButton(137, 210, 117, 30, folder.c_str());
        Fl_Button imageButton(264, 210, 117, 30, image.c_str());
        Fl_Button cancelButton(391, 210, 119, 30, cancel.c_str());
        const std::pair<Fl_Button*, Pick> buttons[] = {{&openButton, Pick::Open},
                                                       {&folderButton, Pick::Folder},
                                                       {&imageButton, Pick::Image},
                                                       {&cancelButton, Pick::Cancel}};
        for (const auto& [button, what] : buttons) {
            button->user_data(reinterpret_cast<void*>(static_cast<long>(what)));
            button->callback([](Fl_Widget* w, void*) {
                *static_cast<Pick*>(w->window()->user_data()) =
                    static_cast<Pick>(reinterpret_cast<long>(w->user_data()));
            });
        }
        win.end();
        win.user_data(&pick);
        win.callback(
            [](Fl_Widget* w, void*) { *static_cast<Pick*>(w->user_data()) = Pick::Cancel; });
        // Picking a recent installation puts it in the field; a double click opens it.
        list.user_data(&typed);
        list.callback([](Fl_Widget* w, void* field) {
            auto* browser = static_cast<Fl_Hold_Browser*>(w);
            if (browser->value() > 0)
                static_cast<Fl_Input*>(field)->value(browser->text(browser->value()));
            if (Fl::event_clicks()) *static_cast<Pick*>(w->window()->user_data()) = Pick::Open;
        });
        typed.take_focus();
        win.set_modal();
        win.show();
        while (pick == Pick::None && win.shown()) Fl::wait();
        win.hide();
        switch (pick) {
            case Pick::Open:
                if (typed.value() && *typed.value()) {
                    *path = typed.value();
                    return true;
                }
                continue;
            case Pick::Folder:
            case Pick::Image:
                if (Browse(pick == Pick::Folder, path)) return true;
                continue;
            default:
                return false;
        }
    }
}

std::string ProblemText(Problem problem, const std::string& path) {
    const char* format = problem == Problem::Missing            ? texts::kMsgPathMissing
                         : problem == Problem::ImageUnsupported ? texts::kMsgImageUnsupported
                                                                : texts::kMsgNotAnInstallation;
    std::string f = U(format);
    std::string text;
    std::size_t at = f.find("%s");
    text = at == std::string::npos ? f : f.substr(0, at) + path + f.substr(at + 2);
    for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.replace(p, 2, "\n");
    return text;
}

void AlertProblem(Problem problem, const std::string& path) {
    AlertText(ProblemText(problem, path));
}

void AlertText(const std::string& utf8) {
    std::string text = utf8;
    for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.replace(p, 2, "\n");
    fl_message_title(U(texts::kAppErrorCaption).c_str());
    fl_alert("%s", text.c_str());
}

}  // namespace sabrel::programs::linux_entry
