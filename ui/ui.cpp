#include "ui/ui.h"

#include <cstdlib>

#include "common/texts.h"

namespace sabrel::ui {

namespace {
Ui* g_ui = nullptr;
}

Ui& Get() {
    if (!g_ui) std::abort();
    return *g_ui;
}

void Set(Ui* ui) { g_ui = ui; }

void ShowMessage(const std::string& text) {
    Get().MessageBox(BoxKind::Plain, texts::kAppTitle, text);
}

bool Confirm(const std::string& text) {
    return Get().MessageBox(BoxKind::Confirm, texts::kConfirmCaption, text) == Answer::Yes;
}

}  // namespace sabrel::ui
