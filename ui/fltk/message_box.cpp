#include "ui/fltk/message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
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
};

class BoxWindow : public Fl_Window {
  public:
    BoxWindow(int w, int h, BoxState* state) : Fl_Window(w, h), state_(state) {}

    int handle(int event) override {
        // Return presses the first (default) button, as on Windows.
        if (event == FL_SHORTCUT &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            state_->answer = 0;
            Fl::awake();
            return 1;
        }
        return Fl_Window::handle(event);
    }

  private:
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
                  const std::vector<std::string>& buttons, int closeAnswer) {
    BoxState state;
    state.closeAnswer = closeAnswer;

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
