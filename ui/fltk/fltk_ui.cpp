// SPDX-License-Identifier: MIT
#include "ui/fltk/fltk_ui.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <condition_variable>
#include <mutex>

#include "ui/fltk/fonts.h"
#include "ui/fltk/form_view.h"
#include "ui/fltk/message_box.h"
#include "ui/fltk/text.h"

namespace sabrel::ui::fltk {

namespace {

// A box asked for by another thread, answered on the user-interface thread.
struct BoxRequest {
    FltkUi* ui = nullptr;
    BoxKind kind = BoxKind::Plain;
    const std::string* caption = nullptr;
    const std::string* text = nullptr;
    Answer answer = Answer::Ok;
    bool done = false;
    std::mutex mutex;
    std::condition_variable answered;
};

Answer AnswerOf(BoxKind kind, int button) {
    if (kind == BoxKind::Confirm) return button == 0 ? Answer::Yes : Answer::No;
    if (kind == BoxKind::Warning) return Answer::Yes;
    return Answer::Ok;
}

}  // namespace

FltkUi::FltkUi() : uiThread_(std::this_thread::get_id()) {
    fl_open_display();
    SetupFonts();
    Fl_Window::default_xclass("Sabrel");
    // Lets other threads hand work to this one through Fl::awake.
    Fl::lock();
}

FltkUi::~FltkUi() {
    views_.clear();
    Fl::unlock();
}

std::string FltkUi::WindowClassOf(const Form& form) {
    return "Sabrel" + form.Name();
}

namespace {
std::string& TitleTail() {
    static std::string tail;
    return tail;
}
}  // namespace

void FltkUi::SetTitleTail(const std::string& utf8) {
    TitleTail() = utf8;
}

std::string FltkUi::WindowTitleOf(const std::string& captionCp932) {
    return Utf8FromCp932(captionCp932) + TitleTail();
}

Answer FltkUi::BoxOnUiThread(BoxKind kind, const std::string& caption, const std::string& text) {
    std::vector<std::string> buttons;
    for (const std::string& b : ButtonsOf(kind)) buttons.push_back(Utf8FromCp932(b));
    // Yes/no questions wait for a button, and Escape answers no; the others
    // close like their only (or first) button.
    const bool question = kind == BoxKind::Confirm;
    const int closeAnswer = question ? -1 : 0;
    const int escapeAnswer = question ? 1 : 0;
    int button = RunMessageBox(kind, DisplayText(caption), DisplayText(text), buttons, closeAnswer,
                               escapeAnswer);
    return AnswerOf(kind, button);
}

Answer FltkUi::MessageBox(BoxKind kind, const std::string& caption, const std::string& text) {
    if (std::this_thread::get_id() == uiThread_) return BoxOnUiThread(kind, caption, text);

    BoxRequest request;
    request.ui = this;
    request.kind = kind;
    request.caption = &caption;
    request.text = &text;
    Fl::lock();
    Fl::awake(
        [](void* p) {
            auto* r = static_cast<BoxRequest*>(p);
            Answer answer = r->ui->BoxOnUiThread(r->kind, *r->caption, *r->text);
            std::lock_guard<std::mutex> lock(r->mutex);
            r->answer = answer;
            r->done = true;
            r->answered.notify_one();
        },
        &request);
    Fl::unlock();
    std::unique_lock<std::mutex> lock(request.mutex);
    request.answered.wait(lock, [&] { return request.done; });
    return request.answer;
}

void FltkUi::SetAppTitle(const std::string& title) {
    appTitle_ = title;
}

void FltkUi::AddForm(Form& form) {
    views_[&form] = std::make_unique<FormView>(*this, form);
    form.SetObserver(this);
}

void FltkUi::RemoveForm(Form& form) {
    if (form.Observer() == this) form.SetObserver(nullptr);
    views_.erase(&form);
}

FormView* FltkUi::ViewOf(const Form& form) const {
    auto it = views_.find(&form);
    return it == views_.end() ? nullptr : it->second.get();
}

Fl_Widget* FltkUi::WidgetOf(const Control& control) const {
    FormView* view = ViewOf(control.Owner());
    return view ? view->WidgetOf(control) : nullptr;
}

Fl_Double_Window* FltkUi::WindowOf(const Form& form) const {
    FormView* view = ViewOf(form);
    return view ? &view->Window() : nullptr;
}

void FltkUi::Show(Form& form) {
    if (FormView* view = ViewOf(form)) view->SyncVisible();
}

ModalResult FltkUi::ShowModal(Form& form) {
    FormView* view = ViewOf(form);
    if (!view) return Ui::ShowModal(form);
    view->Window().set_modal();
    form.BeginModal();
    view->SyncVisible();
    // Timeouts run before Fl::wait blocks, so a state changed by one is seen
    // at the latest when the wait times out.
    while (form.ModalRunning() && !QuitPosted()) Fl::wait(0.5);
    return form.EndModal();
}

void FltkUi::Hide(Form& form) {
    if (FormView* view = ViewOf(form)) view->SyncVisible();
}

void FltkUi::PostQuit() {
    Ui::PostQuit();
    // Wakes the loop when the request comes from another thread.
    Fl::awake();
}

int FltkUi::Run() {
    while (!QuitPosted()) Fl::wait(0.5);
    for (auto& [form, view] : views_) view->Window().hide();
    Fl::flush();
    return 0;
}

void FltkUi::ControlChanged(Control& control, Change what) {
    if (FormView* view = ViewOf(control.Owner())) view->ControlChanged(control, what);
}

void FltkUi::FormChanged(Form& form, Change what) {
    if (FormView* view = ViewOf(form)) view->FormChanged(what);
}

}  // namespace sabrel::ui::fltk
