// SPDX-License-Identifier: MIT
#include "ui/fltk/message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>

namespace sabrel::ui::fltk {

namespace {

constexpr int kTextPx = 15;
constexpr int kMargin = 16;
constexpr int kIconSize = 32;
constexpr int kButtonW = 88;
constexpr int kButtonH = 26;
constexpr int kButtonGap = 8;
constexpr int kMaxTextWidth = 600;

struct BoxState {
    int answer = -1;
    int closeAnswer = -1;
    int escapeAnswer = -1;
    std::vector<Fl_Button*> buttons;
};

// The letter marked by '&' in a button's caption ("はい(&Y)"), upper case, or 0.
int MnemonicOf(const std::string& caption) {
    const std::size_t amp = caption.find('&');
    if (amp == std::string::npos || amp + 1 >= caption.size()) return 0;
    const unsigned char c = static_cast<unsigned char>(caption[amp + 1]);
    return c < 0x80 ? std::toupper(c) : 0;
}

class BoxWindow : public Fl_Window {
  public:
    BoxWindow(int w, int h, BoxState* state) : Fl_Window(w, h), state_(state) {}

    int handle(int event) override {
        if (event == FL_SHORTCUT && !(Fl::event_state() & (FL_CTRL | FL_ALT | FL_META))) {
            const int key = Fl::event_key();
            // Return presses the button with the focus, which is the first
            // (default) one until the user moves it, as on Windows.
            if (key == FL_Enter || key == FL_KP_Enter) {
                int index = 0;
                for (std::size_t i = 0; i < state_->buttons.size(); ++i) {
                    if (Fl::focus() == state_->buttons[i]) index = static_cast<int>(i);
                }
                return Answer(index);
            }
            // Escape answers as the no or cancel button does; a box without
            // one ignores it.
            if (key == FL_Escape) {
                if (state_->escapeAnswer >= 0) Answer(state_->escapeAnswer);
                return 1;
            }
            // A button's marked letter answers with that button, without Alt
            // (FLTK would also take it with Alt only).
            if (key < 0x80 && std::isalpha(key)) {
                for (std::size_t i = 0; i < state_->buttons.size(); ++i) {
                    const char* label = state_->buttons[i]->label();
                    if (label && MnemonicOf(label) == std::toupper(key)) {
                        return Answer(static_cast<int>(i));
                    }
                }
                return 1;
            }
        }
        return Fl_Window::handle(event);
    }

  private:
    int Answer(int index) {
        state_->answer = index;
        Fl::awake();
        return 1;
    }
    BoxState* state_;
};

void OnButton(Fl_Widget* w, void* index) {
    auto* state = static_cast<BoxState*>(w->window()->user_data());
    state->answer = static_cast<int>(reinterpret_cast<std::intptr_t>(index));
    // An answer given from a timeout would otherwise wait for the next event.
    Fl::awake();
}

void OnClose(Fl_Widget* w, void*) {
    auto* state = static_cast<BoxState*>(w->user_data());
    if (state->closeAnswer >= 0) state->answer = state->closeAnswer;
    Fl::awake();
}

// Lines wider than `maxWidth` in the current font (long paths, Japanese
// without spaces) break between characters, so that the box stays on the
// screen.
std::string BreakLongLines(const std::string& text, int maxWidth) {
    std::string out;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\n') {
            out += '\n';
            lineStart = out.size();
            ++i;
            continue;
        }
        int len = fl_utf8len1(text[i]);
        if (len < 1 || i + static_cast<std::size_t>(len) > text.size()) len = 1;
        std::string candidate =
            out.substr(lineStart) + text.substr(i, static_cast<std::size_t>(len));
        if (out.size() > lineStart && fl_width(candidate.c_str()) > maxWidth) {
            out += '\n';
            lineStart = out.size();
        }
        out.append(text, i, static_cast<std::size_t>(len));
        i += static_cast<std::size_t>(len);
    }
    return out;
}

const char* IconText(BoxKind kind) {
    switch (kind) {
        case BoxKind::Confirm:
            return "?";
        case BoxKind::Warning:
            return "!";
        case BoxKind::Error:
            return "X";
        case BoxKind::Plain:
            break;
    }
    return nullptr;
}

Fl_Color IconColor(BoxKind kind) {
    switch (kind) {
        case BoxKind::Warning:
            return fl_rgb_color(240, 200, 0);
        case BoxKind::Error:
            return fl_rgb_color(220, 40, 40);
        default:
            return fl_rgb_color(40, 90, 220);
    }
}

}  // namespace

int RunMessageBox(BoxKind kind, const std::string& caption, const std::string& text,
                  const std::vector<std::string>& buttons, int closeAnswer, int escapeAnswer) {
    BoxState state;
    state.closeAnswer = closeAnswer;
    state.escapeAnswer = escapeAnswer;

    fl_font(FL_HELVETICA, kTextPx);
    int textW = 0, textH = 0;
    const std::string shown = BreakLongLines(text, kMaxTextWidth);
    fl_measure(shown.c_str(), textW, textH, 0);
    std::vector<int> widths;
    for (const std::string& b : buttons) {
        int bw = 0, bh = 0;
        fl_measure(b.c_str(), bw, bh, 0);
        widths.push_back(std::max(kButtonW, bw + 20));
    }
    int rowW = kButtonGap * static_cast<int>(buttons.size() > 0 ? buttons.size() - 1 : 0);
    for (int w : widths) rowW += w;

    const char* icon = IconText(kind);
    int textLeft = kMargin + (icon ? kIconSize + kMargin : 0);
    int width = std::max(textLeft + textW + kMargin, rowW + 2 * kMargin);
    width = std::max(width, 200);
    int bodyH = std::max(textH, icon ? kIconSize : 0);
    int height = kMargin + bodyH + kMargin + kButtonH + kMargin;

    Fl_Group* saved = Fl_Group::current();
    Fl_Group::current(nullptr);
    auto win = std::make_unique<BoxWindow>(width, height, &state);
    win->copy_label(caption.c_str());
    win->xclass(kBoxWindowClass);
    win->user_data(&state);
    win->callback(OnClose, &state);
    win->begin();
    if (icon) {
        auto* i = new Fl_Box(FL_OVAL_BOX, kMargin, kMargin, kIconSize, kIconSize, icon);
        i->color(IconColor(kind));
        i->labelcolor(FL_WHITE);
        i->labelfont(FL_HELVETICA_BOLD);
        i->labelsize(20);
    }
    auto* body = new Fl_Box(textLeft, kMargin + (bodyH - textH) / 2, textW, textH);
    body->copy_label(shown.c_str());
    body->labelfont(FL_HELVETICA);
    body->labelsize(kTextPx);
    body->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE);
    int x = (width - rowW) / 2;
    Fl_Button* first = nullptr;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        auto* b = new Fl_Button(x, height - kMargin - kButtonH, widths[i], kButtonH);
        b->copy_label(buttons[i].c_str());
        b->labelfont(FL_HELVETICA);
        b->labelsize(kTextPx);
        b->callback(OnButton, reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
        // Buttons take no shortcut of their own: the window answers the
        // marked letters, so that FLTK's Alt+letter rule does not apply.
        b->shortcut(0);
        state.buttons.push_back(b);
        if (!first) first = b;
        x += widths[i] + kButtonGap;
    }
    win->end();
    Fl_Group::current(saved);

    win->set_modal();
    win->position((Fl::w() - width) / 2, (Fl::h() - height) / 2);
    win->show();
    if (first) first->take_focus();
    while (state.answer < 0) Fl::wait(0.5);
    win->hide();
    return state.answer;
}

}  // namespace sabrel::ui::fltk
