// SPDX-License-Identifier: MIT
#include "ui/script/script_ui.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace sabrel::ui {

namespace {

const char* KindName(BoxKind kind) {
    switch (kind) {
        case BoxKind::Plain:
            return "plain";
        case BoxKind::Confirm:
            return "confirm";
        case BoxKind::Warning:
            return "warning";
        case BoxKind::Error:
            return "error";
    }
    return "?";
}

bool AnswerFits(BoxKind kind, Answer answer) {
    switch (kind) {
        case BoxKind::Confirm:
            return answer == Answer::Yes || answer == Answer::No;
        case BoxKind::Warning:
            return answer == Answer::Yes;
        case BoxKind::Plain:
        case BoxKind::Error:
            break;
    }
    return answer == Answer::Ok;
}

// The answer a box gets when the script failed to provide one: the one that
// goes on the least (no for a question).
Answer SafeAnswer(BoxKind kind) {
    switch (kind) {
        case BoxKind::Confirm:
            return Answer::No;
        case BoxKind::Warning:
            return Answer::Yes;
        case BoxKind::Plain:
        case BoxKind::Error:
            break;
    }
    return Answer::Ok;
}

std::string Printable(const std::string& bytes) {
    std::string out;
    char buf[8];
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

}  // namespace

ScriptUi::ScriptUi() : previous_(Current()) {
    onFailure_ = [](const std::string& what) {
        std::fprintf(stderr, "ScriptUi: %s\n", what.c_str());
        std::abort();
    };
    Set(this);
}

ScriptUi::~ScriptUi() {
    for (Form* f : forms_) f->SetObserver(nullptr);
    if (Current() == this) Set(previous_);
}

void ScriptUi::Fail(const std::string& what) {
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handler = onFailure_;
    }
    handler(what);
}

void ScriptUi::QueueAnswer(Answer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back({answer, false, BoxKind::Plain, {}});
}

void ScriptUi::ExpectBox(BoxKind kind, std::string text, Answer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back({answer, true, kind, std::move(text)});
}

void ScriptUi::SetAutoOk(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    autoOk_ = on;
}

std::vector<BoxRecord> ScriptUi::Boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

std::size_t ScriptUi::PendingAnswers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_.size();
}

void ScriptUi::SetFailureHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    onFailure_ = std::move(handler);
}

Answer ScriptUi::MessageBox(BoxKind kind, const std::string& caption, const std::string& text) {
    BoxRecord rec;
    rec.kind = kind;
    rec.caption = caption;
    rec.text = text;
    rec.buttons = ButtonsOf(kind);
    std::string failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool plainish = kind == BoxKind::Plain || kind == BoxKind::Error;
        if (answers_.empty()) {
            if (autoOk_ && plainish) {
                rec.answer = Answer::Ok;
            } else {
                rec.expected = false;
                rec.answer = SafeAnswer(kind);
                failure = std::string("unexpected ") + KindName(kind) + " box \"" +
                          Printable(caption) + "\": \"" + Printable(text) + "\"";
            }
        } else {
            Scripted s = answers_.front();
            answers_.pop_front();
            rec.answer = s.answer;
            if (s.checkBox && (s.kind != kind || s.text != text)) {
                rec.expected = false;
                failure = std::string("expected ") + KindName(s.kind) + " box \"" +
                          Printable(s.text) + "\", got " + KindName(kind) + " box \"" +
                          Printable(text) + "\"";
            } else if (!AnswerFits(kind, s.answer)) {
                rec.expected = false;
                rec.answer = SafeAnswer(kind);
                failure = std::string("the scripted answer has no button on the ") +
                          KindName(kind) + " box \"" + Printable(text) + "\"";
            }
        }
        boxes_.push_back(rec);
    }
    if (!failure.empty()) Fail(failure);
    return rec.answer;
}

void ScriptUi::AddForm(Form& form) {
    std::lock_guard<std::mutex> lock(mutex_);
    forms_.push_back(&form);
}

void ScriptUi::RemoveForm(Form& form) {
    std::lock_guard<std::mutex> lock(mutex_);
    forms_.erase(std::remove(forms_.begin(), forms_.end(), &form), forms_.end());
}

Form* ScriptUi::FindForm(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Form* f : forms_) {
        if (f->Name() == name) return f;
    }
    return nullptr;
}

void ScriptUi::Show(Form& form) {
    std::lock_guard<std::mutex> lock(mutex_);
    showLog_.push_back(form.Name());
}

void ScriptUi::Hide(Form& form) {
    (void)form;
}

ModalResult ScriptUi::ShowModal(Form& form) {
    std::function<void(Form&)> step;
    bool missing = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        modalLog_.push_back(form.Name());
        if (modalSteps_.empty()) {
            missing = true;
        } else {
            step = std::move(modalSteps_.front());
            modalSteps_.pop_front();
        }
    }
    form.BeginModal();
    if (missing) {
        Fail("unexpected modal show of " + form.Name());
    } else if (step) {
        step(form);
    }
    return form.EndModal();
}

void ScriptUi::QueueModal(std::function<void(Form&)> step) {
    std::lock_guard<std::mutex> lock(mutex_);
    modalSteps_.push_back(std::move(step));
}

std::vector<std::string> ScriptUi::ShowLog() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return showLog_;
}

std::vector<std::string> ScriptUi::ModalLog() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return modalLog_;
}

bool ScriptUi::Click(Form& form, const std::string& control) {
    if (QuitPosted() || !form.ModalRunning()) return false;
    return form.UserClick(control);
}

bool ScriptUi::ClickItem(Form& form, const std::string& control, std::size_t index) {
    if (QuitPosted() || !form.ModalRunning()) return false;
    return form.UserClickItem(control, index);
}

bool ScriptUi::DoubleClick(Form& form, const std::string& control) {
    if (QuitPosted() || !form.ModalRunning()) return false;
    return form.UserDoubleClick(control);
}

bool ScriptUi::SelectPage(Form& form, const std::string& control, int index) {
    if (QuitPosted() || !form.ModalRunning()) return false;
    return form.UserSelectPage(control, index);
}

bool ScriptUi::Close(Form& form) {
    if (QuitPosted() || !form.Visible()) return false;
    return form.UserClose();
}

bool ScriptUi::Tick(Form& form, const std::string& timer) {
    if (QuitPosted()) return false;
    return form.TimerTick(timer);
}

void ScriptUi::PostQuit() {
    Ui::PostQuit();
    std::lock_guard<std::mutex> lock(mutex_);
    ++quitRequests_;
}

int ScriptUi::QuitRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return quitRequests_;
}

void ScriptUi::SetLoop(std::function<void(ScriptUi&)> driver) {
    loop_ = std::move(driver);
}

int ScriptUi::Run() {
    ++loopRuns_;
    if (loop_ && !QuitPosted()) loop_(*this);
    return 0;
}

void ScriptUi::SetAppTitle(const std::string& title) {
    std::lock_guard<std::mutex> lock(mutex_);
    appTitle_ = title;
}

std::string ScriptUi::AppTitle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return appTitle_;
}

std::string DescribeForm(const Form& form) {
    std::ostringstream out;
    out << form.Name() << (form.Visible() ? " shown" : " hidden") << " \""
        << Printable(form.Caption()) << "\"\n";
    for (const auto& c : form.Controls()) {
        out << "  " << c->Name() << " \"" << Printable(c->Caption()) << "\""
            << (c->Visible() ? "" : " invisible") << (c->Enabled() ? "" : " disabled")
            << (c->Checked() ? " checked" : "");
        if (c->Kind() == ControlKind::PageControl || c->Kind() == ControlKind::Notebook) {
            out << " page=" << c->PageIndex();
        }
        if (!c->Image().empty()) out << " image=" << c->Image();
        for (std::size_t i = 0; i < c->Count(); ++i) {
            out << "\n    [" << (c->Marked(i) ? 'x' : ' ') << "] " << Printable(c->Item(i));
        }
        for (const auto& row : c->Rows()) {
            out << "\n    |";
            for (const auto& cell : row) out << ' ' << Printable(cell) << " |";
        }
        out << '\n';
    }
    return out.str();
}

}  // namespace sabrel::ui
