// SPDX-License-Identifier: MIT
// sabrel-script: the whole program, headless, on the offline platform
// (SABREL_WINDIR names the Windows directory, or SABREL_IMAGE a disk image). It plays a user who
// presses OK, answers yes, watches the wizard and presses the end-of-run button, and prints every
// page and every message box as UTF-8.

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "app/form1.h"
#include "app/form3.h"
#include "app/program.h"
#include "common/text_conversion.h"
#include "common/texts.h"
#include "platform/offline/offline_platform.h"
#include "ui/script/script_ui.h"

namespace {

using sabrel::ui::Answer;
using sabrel::ui::BoxKind;

std::mutex g_print;

// The answer to a question, as the box's yes button says it.
const char* YesWord() {
    return sabrel::texts::CurrentLanguage() == sabrel::texts::Language::English ? "Yes" : u8"はい";
}

std::string Utf8(const std::string& cp932) {
    std::string out;
    if (!sabrel::ConvertText("CP932", "UTF-8", cp932, &out)) return cp932;
    std::string lines;
    for (char c : out) {
        if (c != '\r') lines += c;
    }
    return lines;
}

void Print(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_print);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

// Answers every question with yes and every other box with OK, printing it.
class DemoUi : public sabrel::ui::ScriptUi {
  public:
    Answer MessageBox(BoxKind kind, const std::string& caption, const std::string& text) override {
        std::string frame = kind == BoxKind::Confirm ? "question" : "message";
        Print("  +-- " + frame + " [" + Utf8(caption) + "]\n  | " + Indent(Utf8(text)) +
              "\n  +-- " + (kind == BoxKind::Confirm ? YesWord() : "OK") + "\n");
        QueueAnswer(kind == BoxKind::Confirm || kind == BoxKind::Warning ? Answer::Yes
                                                                         : Answer::Ok);
        return ScriptUi::MessageBox(kind, caption, text);
    }

  private:
    static std::string Indent(const std::string& text) {
        std::string out;
        for (char c : text) {
            out += c;
            if (c == '\n') out += "  | ";
        }
        return out;
    }
};

std::string PageOf(const sabrel::ui::Form& form) {
    const sabrel::ui::Control* page = form.Get("nbStage").ActivePage();
    return page ? page->Name() : std::string();
}

void PrintPage(const sabrel::ui::Form& form, const std::string& note = {}) {
    std::string page = PageOf(form);
    std::string out = "[page " + page + note + "]\n";
    for (const auto& c : form.Controls()) {
        if (c->Parent() && c->Parent()->Name() == page && c->Visible() && !c->Caption().empty()) {
            const char* kind = c->Kind() == sabrel::ui::ControlKind::Button ? "button" : "text";
            out += "  " + std::string(kind) + " " + c->Name() + ": " + Utf8(c->Caption()) + "\n";
        }
    }
    Print(out);
}

void Drive(DemoUi& ui) {
    using namespace sabrel;
    app::TForm1& main = *app::Form1;
    PrintPage(main);
    if (!ui.Click(main, "btOk")) {
        Print("OK cannot be pressed; pressing cancel.\n");
        ui.Click(main, "btCancel");
        return;
    }
    // The timer's 125 ms, shortened: the run itself is what takes time.
    while (PageOf(main) == "01" && !ui.QuitPosted()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ui.Tick(main, "Timer1");
    }
    if (ui.QuitPosted()) return;
    PrintPage(main);
    if (PageOf(main) == "02") {
        ui.Click(main, "btFin1");
        return;
    }
    int ticks = 0;
    while (ui.Tick(main, "Timer1")) ++ticks;
    PrintPage(main, ", " + std::to_string(ticks) + " ticks later");
    ui.QueueModal([](ui::Form& report) {
        std::string out = "[results]\n";
        for (const auto& row : report.Get("lvResult").Rows()) {
            out += " ";
            for (const std::string& cell : row) out += "  " + Utf8(cell);
            out += "\n";
        }
        Print(out);
    });
    ui.DoubleClick(main, "Label7");
    Print("pressing: " + Utf8(main.Get("btReboot").Caption()) + "\n");
    ui.Click(main, "btReboot");
}

}  // namespace

int main() {
    sabrel::texts::SetLanguage(sabrel::texts::LanguageFromEnvironment());
    std::string message;
    auto platform = sabrel::platform::offline::OfflinePlatform::OpenFromEnvironment(&message);
    if (!platform) {
        Print("sabrel-script: " + Utf8(message) + "\n");
        return 1;
    }
    sabrel::platform::Set(platform.get());
    DemoUi ui;
    ui.SetFailureHandler([](const std::string& what) { Print("script: " + what + "\n"); });
    ui.SetLoop([&ui](sabrel::ui::ScriptUi&) { Drive(ui); });
    int rc = sabrel::app::RunProgram(sabrel::app::Host::Offline);
    Print(ui.QuitPosted() ? "Sabrel ended.\n" : "Sabrel did not end.\n");
    return rc;
}
