// SPDX-License-Identifier: MIT
#include "ui/ui.h"

#include <cstdlib>

#include "common/texts.h"
#include "platform/platform.h"

namespace sabrel::ui {

namespace {
Ui* g_ui = nullptr;
}

Ui& Get() {
    if (!g_ui) std::abort();
    return *g_ui;
}

Ui* Current() {
    return g_ui;
}

void Set(Ui* ui) {
    g_ui = ui;
}

void ShowMessage(const std::string& text) {
    Get().MessageBox(BoxKind::Plain, texts::kAppTitle, text);
}

bool Confirm(const std::string& text) {
    return Get().MessageBox(BoxKind::Confirm, texts::kConfirmCaption, text) == Answer::Yes;
}

void ShowWarning(const std::string& text) {
    Get().MessageBox(BoxKind::Warning, texts::kWarningCaption, text);
}

void ShowError(const std::string& caption, const std::string& text) {
    Get().MessageBox(BoxKind::Error, caption, text);
}

std::vector<std::string> ButtonsOf(BoxKind kind) {
    switch (kind) {
        case BoxKind::Confirm:
            return {texts::kButtonYes, texts::kButtonNo};
        case BoxKind::Warning:
            return {texts::kButtonYes};
        case BoxKind::Plain:
        case BoxKind::Error:
            break;
    }
    return {texts::kButtonOk};
}

void AskToEnd() {
    Get().PostQuit();
}

bool AnotherInstanceRunning() {
    return platform::Get().FindRunningInstance(texts::kAppWindowClass, texts::kAppTitle);
}

void ClaimInstance() {
    platform::Get().ClaimInstance(texts::kAppTitle);
}

}  // namespace sabrel::ui
