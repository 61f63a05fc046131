// SPDX-License-Identifier: MIT
#include "ui/form.h"

#include <cstdlib>
#include <exception>
#include <utility>

#include "common/texts.h"
#include "ui/ui.h"

namespace sabrel::ui {

namespace {

bool IsPageKind(ControlKind kind) {
    return kind == ControlKind::TabSheet || kind == ControlKind::NotebookPage;
}

bool IsPagedContainer(ControlKind kind) {
    return kind == ControlKind::PageControl || kind == ControlKind::Notebook;
}

bool HasItems(ControlKind kind) {
    return kind == ControlKind::ListBox || kind == ControlKind::LineBuffer;
}

}  // namespace

// --- Control -----------------------------------------------------------------

Control::Control(Form& owner, const ControlDecl& decl, Control* parent)
    : owner_(owner),
      decl_(decl),
      parent_(parent),
      caption_(decl.caption),
      visible_(decl.visible),
      enabled_(decl.enabled),
      checked_(decl.checked),
      image_(decl.image) {
    if (HasItems(decl.kind)) {
        items_ = decl.items;
        marks_.assign(items_.size(), 0);
    }
}

void Control::Changed(Change what) {
    ++revision_;
    // A line buffer may be filled from the worker thread and is never drawn.
    if (decl_.kind != ControlKind::LineBuffer) owner_.Notify(*this, what);
}

void Control::SetCaption(std::string caption) {
    if (caption == caption_) return;
    caption_ = std::move(caption);
    Changed(Change::Caption);
}

void Control::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Changed(Change::Visible);
}

void Control::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Changed(decl_.kind == ControlKind::Timer ? Change::Timer : Change::Enabled);
}

void Control::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    Changed(Change::Checked);
    if (checked && decl_.kind == ControlKind::RadioButton) {
        for (const auto& other : owner_.Controls()) {
            if (other.get() != this && other->Kind() == ControlKind::RadioButton &&
                other->Parent() == parent_) {
                other->SetChecked(false);
            }
        }
    }
}

void Control::AddItem(std::string text, bool marked) {
    items_.push_back(std::move(text));
    marks_.push_back(marked ? 1 : 0);
    Changed(Change::Items);
}

void Control::ClearItems() {
    if (items_.empty()) return;
    items_.clear();
    marks_.clear();
    Changed(Change::Items);
}

std::vector<std::string>& Control::MutableLines() {
    if (decl_.kind != ControlKind::LineBuffer) std::abort();
    ++revision_;
    return items_;
}

void Control::SetMarked(std::size_t i, bool marked) {
    std::uint8_t& m = marks_.at(i);
    if ((m != 0) == marked) return;
    m = marked ? 1 : 0;
    Changed(Change::Marks);
}

std::size_t Control::MarkedCount() const {
    std::size_t n = 0;
    for (std::uint8_t m : marks_) n += m != 0;
    return n;
}

std::vector<Control*> Control::Pages() const {
    std::vector<Control*> pages;
    for (const auto& c : owner_.Controls()) {
        if (c->Parent() == this && IsPageKind(c->Kind())) pages.push_back(c.get());
    }
    return pages;
}

void Control::SetPageIndex(int index) {
    if (index == pageIndex_) return;
    if (index < 0 || static_cast<std::size_t>(index) >= Pages().size()) return;
    pageIndex_ = index;
    Changed(Change::Page);
}

bool Control::ShowPage(const std::string& pageName) {
    std::vector<Control*> pages = Pages();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (pages[i]->Name() == pageName) {
            SetPageIndex(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

Control* Control::ActivePage() const {
    std::vector<Control*> pages = Pages();
    if (pageIndex_ < 0 || static_cast<std::size_t>(pageIndex_) >= pages.size()) return nullptr;
    return pages[static_cast<std::size_t>(pageIndex_)];
}

void Control::SetImage(std::string resource) {
    // Drawing a frame repaints the picture even when the name is unchanged.
    image_ = std::move(resource);
    Changed(Change::Image);
}

void Control::ClearRows() {
    if (rows_.empty()) return;
    rows_.clear();
    Changed(Change::Rows);
}

void Control::AddRow(std::vector<std::string> row) {
    rows_.push_back(std::move(row));
    Changed(Change::Rows);
}

// --- Form --------------------------------------------------------------------

Form::Form(const FormDecl& decl) : decl_(decl), caption_(decl.caption), color_(decl.color) {
    controls_.reserve(decl.controls.size());
    for (const ControlDecl& d : decl.controls) {
        Control* parent = nullptr;
        if (!d.parent.empty()) {
            // Parents are declared before their children; anything else is a
            // mistake in a form's declaration.
            auto it = byName_.find(d.parent);
            if (it == byName_.end()) std::abort();
            parent = it->second;
        }
        if (d.name.empty() || byName_.count(d.name) != 0) std::abort();
        controls_.push_back(std::make_unique<Control>(*this, d, parent));
        byName_[d.name] = controls_.back().get();
    }
    if (Ui* ui = Current()) ui->AddForm(*this);
}

Form::~Form() {
    if (Ui* ui = Current()) ui->RemoveForm(*this);
}

Control& Form::Get(const std::string& name) const {
    Control* c = Find(name);
    if (!c) std::abort();
    return *c;
}

Control* Form::Find(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

void Form::SetCaption(std::string caption) {
    if (caption == caption_) return;
    caption_ = std::move(caption);
    if (observer_) observer_->FormChanged(*this, Change::Caption);
}

void Form::SetBackColor(Color color) {
    if (color == color_) return;
    color_ = color;
    if (observer_) observer_->FormChanged(*this, Change::Color);
}

void Form::Show() {
    if (!visible_) {
        visible_ = true;
        if (observer_) observer_->FormChanged(*this, Change::Visible);
    }
    if (Ui* ui = Current()) ui->Show(*this);
}

ModalResult Form::ShowModal() {
    if (Ui* ui = Current()) return ui->ShowModal(*this);
    BeginModal();
    return EndModal();
}

void FormWindowBase::FormChanged(Change what) {
    switch (what) {
        case Change::Caption:
            SyncCaption();
            return;
        case Change::Color:
            SyncColor();
            return;
        case Change::Visible:
            SyncVisible();
            return;
        default:
            return;
    }
}

// A backend's default modal loop, kept beside the form's modal state so that
// ui.cpp needs nothing of the form: without a loop of its own the form closes
// at once.
ModalResult Ui::ShowModal(Form& form) {
    form.BeginModal();
    return form.EndModal();
}

void Form::Hide() {
    if (visible_) {
        visible_ = false;
        if (observer_) observer_->FormChanged(*this, Change::Visible);
    }
    if (Ui* ui = Current()) ui->Hide(*this);
}

void Form::BeginModal() {
    modalResult_ = ModalResult::None;
    if (!visible_) {
        visible_ = true;
        if (observer_) observer_->FormChanged(*this, Change::Visible);
    }
}

ModalResult Form::EndModal() {
    if (visible_) {
        visible_ = false;
        if (observer_) observer_->FormChanged(*this, Change::Visible);
    }
    return modalResult_;
}

bool Form::IsShowing(const Control& control) const {
    if (!visible_) return false;
    switch (control.Kind()) {
        case ControlKind::Timer:
        case ControlKind::ImageList:
        case ControlKind::LineBuffer:
            return false;
        default:
            break;
    }
    for (const Control* c = &control; c; c = c->Parent()) {
        if (!IsPageKind(c->Kind()) && !c->Visible()) return false;
        const Control* p = c->Parent();
        if (p && IsPagedContainer(p->Kind()) && p->ActivePage() != c) return false;
    }
    return true;
}

bool Form::IsUsable(const Control& control) const {
    if (!IsShowing(control)) return false;
    for (const Control* c = &control; c; c = c->Parent()) {
        if (!c->Enabled()) return false;
    }
    return true;
}

bool Form::UserClick(const std::string& name) {
    Control* c = Find(name);
    if (!c || !IsUsable(*c)) return false;
    switch (c->Kind()) {
        case ControlKind::CheckBox:
            c->SetChecked(!c->Checked());
            break;
        case ControlKind::RadioButton:
            // A radio button reports a click only when it becomes selected.
            if (c->Checked()) return true;
            c->SetChecked(true);
            break;
        case ControlKind::Button:
            if (c->Decl().modalResult != ModalResult::None) modalResult_ = c->Decl().modalResult;
            break;
        case ControlKind::TabSheet:
        case ControlKind::NotebookPage:
        case ControlKind::PageControl:
        case ControlKind::Notebook:
            return false;
        default:
            break;
    }
    Dispatch(name, Event::Click);
    return true;
}

bool Form::UserClickItem(const std::string& name, std::size_t index) {
    Control* c = Find(name);
    if (!c || c->Kind() != ControlKind::ListBox || !IsUsable(*c) || index >= c->Count()) {
        return false;
    }
    if (c->Decl().multiSelect) {
        c->SetMarked(index, !c->Marked(index));
    } else {
        for (std::size_t i = 0; i < c->Count(); ++i) c->SetMarked(i, i == index);
    }
    Dispatch(name, Event::Click);
    return true;
}

bool Form::UserDoubleClick(const std::string& name) {
    Control* c = Find(name);
    if (!c || !IsUsable(*c)) return false;
    Dispatch(name, Event::DoubleClick);
    return true;
}

bool Form::UserSelectPage(const std::string& name, int index) {
    Control* c = Find(name);
    if (!c || c->Kind() != ControlKind::PageControl || !IsUsable(*c)) return false;
    if (index < 0 || static_cast<std::size_t>(index) >= c->Pages().size()) return false;
    c->SetPageIndex(index);
    return true;
}

bool Form::TimerTick(const std::string& name) {
    Control* c = Find(name);
    if (!c || c->Kind() != ControlKind::Timer || !c->Enabled()) return false;
    Dispatch(name, Event::Timer);
    return true;
}

bool Form::UserClose() {
    if (!CanClose()) return false;
    Hide();
    return true;
}

void Form::Bind(const std::string& control, Event event, std::function<void()> handler) {
    handlers_[{control, event}] = std::move(handler);
}

void Form::Notify(Control& control, Change what) {
    if (observer_) observer_->ControlChanged(control, what);
}

bool Form::Dispatch(const std::string& control, Event event) {
    auto it = handlers_.find({control, event});
    if (it == handlers_.end()) return false;
    // The program's general error handler: an error raised by a handler on the
    // user-interface thread is shown in an error box and the program goes on.
    try {
        it->second();
    } catch (const std::exception& e) {
        ShowError(texts::kAppTitle, e.what());
    }
    return true;
}

}  // namespace sabrel::ui
