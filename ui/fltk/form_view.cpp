// SPDX-License-Identifier: MIT
#include "ui/fltk/form_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>

#include "ui/fltk/fltk_ui.h"
#include "ui/fltk/fonts.h"
#include "ui/fltk/text.h"
#include "ui/fltk/widgets.h"
#include "ui/ui.h"

namespace sabrel::ui::fltk {

namespace {

// Inside a tab sheet, controls are placed from this inset within its frame.
constexpr int kSheetInset = 3;

Fl_Color ToFl(Color c, Fl_Color fallback) {
    if (c == kColorDefault) return fallback;
    return fl_rgb_color(static_cast<uchar>(c >> 16), static_cast<uchar>(c >> 8),
                        static_cast<uchar>(c));
}

Fl_Align AlignOf(Align a) {
    switch (a) {
        case Align::Center:
            return FL_ALIGN_CENTER;
        case Align::Right:
            return FL_ALIGN_RIGHT;
        case Align::Left:
            break;
    }
    return FL_ALIGN_LEFT;
}

// The window manager is asked for a title bar and border without any buttons
// and without resizing (Motif hints, honoured by the common window managers).
void RequestNoTitleButtons(Fl_Window& window) {
    Window xid = fl_xid(&window);
    if (!xid || !fl_display) return;
    struct {
        unsigned long flags, functions, decorations;
        long inputMode;
        unsigned long status;
    } hints = {1UL | 2UL, 4UL /* move */, 2UL | 8UL /* border, title */, 0, 0};
    Atom motif = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(fl_display, xid, motif, motif, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&hints), 5);
}

bool TakesFocus(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
        case ControlKind::ListBox:
        case ControlKind::PageControl:
        case ControlKind::ListView:
            return true;
        default:
            return false;
    }
}

// Controls whose insides Tab walks into.
bool HoldsControls(ControlKind kind) {
    return kind == ControlKind::GroupBox || kind == ControlKind::PageControl ||
           kind == ControlKind::TabSheet || kind == ControlKind::Notebook ||
           kind == ControlKind::NotebookPage;
}

// A form's window: it knows its view, so that keys reach the view before
// FLTK's own navigation (which follows geometry with the arrow keys and
// stops at group edges) sees them.
class FormWindow : public Fl_Double_Window {
  public:
    FormWindow(int w, int h, FormView* view) : Fl_Double_Window(w, h), view_(view) {}
    FormView* View() const { return view_; }

    int handle(int event) override {
        // When the window gets the keyboard back (a dialog over it closed),
        // the control that had the focus gets it again, as on Windows; one
        // that is now hidden or disabled passes it to the first in tab order.
        if (event == FL_FOCUS) {
            Fl_Widget* last = view_->LastFocus();
            if (last && !contains(Fl::focus()) && last->visible_r() && last->active_r() &&
                last->take_focus()) {
                return 1;
            }
            const int used = Fl_Double_Window::handle(event);
            view_->KeepFocusVisible();
            return used || (Fl::focus() && contains(Fl::focus()));
        }
        return Fl_Double_Window::handle(event);
    }

  private:
    FormView* view_;
};

FormWindow* FormWindowOf(Fl_Widget* widget) {
    Fl_Window* top =
        widget ? (widget->as_window() ? widget->as_window() : widget->window()) : nullptr;
    while (top && top->window()) top = top->window();
    return dynamic_cast<FormWindow*>(top);
}

void RememberFocus() {
    if (FormWindow* form = FormWindowOf(Fl::focus())) form->View()->RememberFocus(Fl::focus());
}

// Keys go to the form window that has the keyboard (or the modal one) first.
// The focus is noted before and after each key or click, since a button's
// handler may run a dialog of its own before the event returns.
int DispatchKeys(int event, Fl_Window* window) {
    const bool user = event == FL_KEYBOARD || event == FL_PUSH;
    if (user) RememberFocus();
    if (event == FL_KEYBOARD) {
        FormWindow* form = FormWindowOf(Fl::focus());
        if (!form) form = FormWindowOf(Fl::modal() ? Fl::modal() : window);
        if (form && form->View()->Key(Fl::event_key(), Fl::event_state())) {
            RememberFocus();
            return 1;
        }
    }
    const int used = Fl::handle_(event, window);
    if (user) RememberFocus();
    return used;
}

bool IsTransparentKind(ControlKind kind) {
    return kind == ControlKind::Label || kind == ControlKind::CheckBox ||
           kind == ControlKind::RadioButton || kind == ControlKind::Picture;
}

}  // namespace

FormView::FormView(Ui& ui, Form& form) : ui_(ui), form_(form) {
    const FormDecl& decl = form.Decl();
    Fl_Group* saved = Fl_Group::current();
    Fl_Group::current(nullptr);
    if (Fl::event_dispatch() != DispatchKeys) Fl::event_dispatch(DispatchKeys);
    window_ = std::make_unique<FormWindow>(decl.clientWidth, decl.clientHeight, this);
    window_->end();
    window_->copy_label(FltkUi::WindowTitleOf(form.Caption()).c_str());
    window_->xclass(("Sabrel" + form.Name()).c_str());
    window_->color(ToFl(form.BackColor(), FL_BACKGROUND_COLOR));
    window_->size_range(decl.clientWidth, decl.clientHeight, decl.clientWidth, decl.clientHeight);
    window_->user_data(this);
    window_->callback(OnClose, this);
    iconPixels_ = art::AnimationFrame(1);
    icon_ = std::make_unique<Fl_RGB_Image>(iconPixels_.data(), art::kSize, art::kSize, 3);
    window_->icon(icon_.get());

    for (const auto& control : form.Controls()) Build(*control);
    OrderByTabOrder();
    for (const auto& control : form.Controls()) SyncAll(*control);
    Fl_Group::current(saved);
}

FormView::~FormView() {
    for (auto& slot : timers_) Fl::remove_timeout(TimerTick, slot.get());
    if (window_) window_->hide();
}

Fl_Widget* FormView::WidgetOf(const Control& control) const {
    auto it = widgets_.find(&control);
    return it == widgets_.end() ? nullptr : it->second;
}

void FormView::Build(Control& control) {
    const ControlDecl& d = control.Decl();
    const FormDecl& fd = form_.Decl();
    Origin at{window_.get(), 0, 0};
    if (control.Parent()) {
        auto it = origins_.find(control.Parent());
        if (it == origins_.end()) return;  // a parent that draws nothing
        at = it->second;
    }
    const int x = at.x + d.left, y = at.y + d.top;
    const Fl_Font font = FontOf(d.font, fd.font);
    const int size = SizeOf(d.font, fd.font);
    const Fl_Color background = ToFl(form_.BackColor(), FL_BACKGROUND_COLOR);
    Fl_Widget* w = nullptr;

    switch (d.kind) {
        case ControlKind::Label: {
            auto* label = new LabelBox(x, y, std::max(d.width, 1), std::max(d.height, 1));
            label->box(FL_NO_BOX);
            label->align(AlignOf(d.alignment) | FL_ALIGN_INSIDE | FL_ALIGN_TOP);
            label->onDoubleClick = [this, &control] { form_.UserDoubleClick(control.Name()); };
            w = label;
            break;
        }
        case ControlKind::Button: {
            auto* b = new PushButton(x, y, d.width, d.height);
            b->callback(OnWidget, &control);
            w = b;
            break;
        }
        case ControlKind::CheckBox: {
            auto* b = new Fl_Check_Button(x, y, d.width, d.height);
            b->callback(OnWidget, &control);
            b->when(FL_WHEN_CHANGED);
            w = b;
            break;
        }
        case ControlKind::RadioButton: {
            auto* b = new Fl_Round_Button(x, y, d.width, d.height);
            b->callback(OnWidget, &control);
            b->when(FL_WHEN_CHANGED);
            w = b;
            break;
        }
        case ControlKind::GroupBox: {
            auto* g = new GroupFrame(x, y, d.width, d.height);
            g->end();
            g->box(FL_NO_BOX);
            origins_[&control] = {g, x, y};
            w = g;
            break;
        }
        case ControlKind::ListBox: {
            auto* list = new ToggleList(x, y, d.width, d.height);
            list->type(d.multiSelect ? FL_MULTI_BROWSER : FL_HOLD_BROWSER);
            list->format_char(0);
            list->textfont(font);
            list->textsize(size);
            list->onToggle = [this, &control](int index) {
                form_.UserClickItem(control.Name(), static_cast<std::size_t>(index));
                Sync(control, Change::Marks);
            };
            list->isMarked = [&control](int index) {
                return index >= 0 && static_cast<std::size_t>(index) < control.Count() &&
                       control.Marked(static_cast<std::size_t>(index));
            };
            w = list;
            break;
        }
        case ControlKind::PageControl: {
            std::vector<std::string> titles;
            for (const auto& c : form_.Controls()) {
                if (c->Parent() == &control && c->Kind() == ControlKind::TabSheet) {
                    titles.push_back(Utf8FromCp932(c->Caption()));
                }
            }
            auto* tabs = new PageTabs(x, y, d.width, d.height, std::move(titles), font, size);
            tabs->callback(OnWidget, &control);
            origins_[&control] = {tabs, x, y};
            w = tabs;
            break;
        }
        case ControlKind::TabSheet: {
            auto* tabs = static_cast<PageTabs*>(at.group);
            const int th = tabs->TabAreaHeight();
            auto* sheet = new Fl_Group(tabs->x(), tabs->y() + th, tabs->w(), tabs->h() - th);
            sheet->end();
            sheet->box(FL_NO_BOX);
            origins_[&control] = {sheet, sheet->x() + kSheetInset, sheet->y() + kSheetInset};
            tabs->add(sheet);
            widgets_[&control] = sheet;
            controls_[sheet] = &control;
            return;
        }
        case ControlKind::Notebook: {
            auto* g = new Fl_Group(x, y, d.width, d.height);
            g->end();
            g->box(FL_NO_BOX);
            origins_[&control] = {g, x, y};
            w = g;
            break;
        }
        case ControlKind::NotebookPage: {
            Fl_Group* book = at.group;
            auto* page = new Fl_Group(book->x(), book->y(), book->w(), book->h());
            page->end();
            page->box(FL_NO_BOX);
            origins_[&control] = {page, book->x(), book->y()};
            book->add(page);
            widgets_[&control] = page;
            controls_[page] = &control;
            return;
        }
        case ControlKind::Picture: {
            auto* p = new PictureBox(x, y, d.width, d.height);
            p->box(FL_NO_BOX);
            w = p;
            break;
        }
        case ControlKind::ListView: {
            std::vector<ReportTable::Column> columns;
            for (const ColumnDecl& c : d.columns) {
                columns.push_back({Utf8FromCp932(c.caption), c.alignment, c.width});
            }
            w = new ReportTable(x, y, d.width, d.height, std::move(columns), font, size);
            break;
        }
        case ControlKind::Bevel: {
            auto* b = new Fl_Box(FL_ENGRAVED_FRAME, x, y, d.width, d.height, nullptr);
            w = b;
            break;
        }
        case ControlKind::Timer: {
            timers_.push_back(std::make_unique<TimerSlot>(TimerSlot{this, &control}));
            StartTimer(*timers_.back());
            return;
        }
        case ControlKind::ImageList:
        case ControlKind::LineBuffer:
            return;
    }

    w->labelfont(font);
    w->labelsize(size);
    w->labelcolor(ToFl(d.textColor, FL_FOREGROUND_COLOR));
    if (d.backColor != kColorDefault) w->color(ToFl(d.backColor, background));
    if (!d.tabStop) w->clear_visible_focus();
    at.group->add(w);
    widgets_[&control] = w;
    controls_[w] = &control;
}

void FormView::OrderByTabOrder() {
    // Keyboard focus follows the children's order in each group; put the
    // controls with a declared tab order into the slots they occupy, sorted.
    std::map<Fl_Group*, std::vector<const Control*>> byGroup;
    for (const auto& control : form_.Controls()) {
        Fl_Widget* w = WidgetOf(*control);
        if (w && w->parent() && control->Decl().tabOrder >= 0) {
            byGroup[w->parent()].push_back(control.get());
        }
    }
    for (auto& [group, controls] : byGroup) {
        std::vector<int> slots;
        for (const Control* c : controls) slots.push_back(group->find(WidgetOf(*c)));
        std::sort(slots.begin(), slots.end());
        std::stable_sort(controls.begin(), controls.end(), [](const Control* a, const Control* b) {
            return a->Decl().tabOrder < b->Decl().tabOrder;
        });
        for (std::size_t i = 0; i < controls.size(); ++i) {
            Fl_Widget* w = WidgetOf(*controls[i]);
            group->remove(w);
            group->insert(*w, slots[i]);
        }
    }
}

void FormView::SyncAll(Control& control) {
    for (Change what : {Change::Caption, Change::Visible, Change::Enabled, Change::Checked,
                        Change::Items, Change::Page, Change::Image, Change::Rows}) {
        Sync(control, what);
    }
}

void FormView::ControlChanged(Control& control, Change what) {
    if (what == Change::Timer) {
        for (auto& slot : timers_) {
            if (slot->control == &control) StartTimer(*slot);
        }
        return;
    }
    Sync(control, what);
}

void FormView::Damage(Fl_Widget* w) {
    // A transparent widget leaves its old pixels behind unless what lies under
    // it is drawn again.
    window_->damage(FL_DAMAGE_ALL, w->x() - 1, w->y() - 1, w->w() + 2, w->h() + 2);
    w->redraw();
}

void FormView::FitLabel(Control& control) {
    const ControlDecl& d = control.Decl();
    Fl_Widget* w = WidgetOf(control);
    if (!w || (!d.autoSize && d.width > 0 && d.height > 0)) return;
    fl_font(w->labelfont(), w->labelsize());
    int tw = 0, th = 0;
    fl_measure(w->label() ? w->label() : "", tw, th, 0);
    w->size(d.autoSize || d.width <= 0 ? std::max(tw, 1) : d.width,
            d.autoSize || d.height <= 0 ? std::max(th, 1) : d.height);
}

void FormView::Sync(Control& control, Change what) {
    Fl_Widget* w = WidgetOf(control);
    if (!w) return;
    const ControlKind kind = control.Kind();
    const bool transparent = IsTransparentKind(kind);
    switch (what) {
        case Change::Caption: {
            if (kind == ControlKind::ListBox || kind == ControlKind::ListView ||
                kind == ControlKind::Picture || kind == ControlKind::Bevel ||
                kind == ControlKind::Notebook || kind == ControlKind::NotebookPage ||
                kind == ControlKind::PageControl) {
                return;
            }
            if (transparent) Damage(w);
            w->copy_label(Utf8FromCp932(control.Caption()).c_str());
            if (kind == ControlKind::Label) FitLabel(control);
            if (kind == ControlKind::TabSheet && w->parent()) {
                auto* tabs = static_cast<PageTabs*>(w->parent());
                tabs->SetTitle(tabs->find(w), Utf8FromCp932(control.Caption()));
            }
            transparent ? Damage(w) : w->redraw();
            return;
        }
        case Change::Visible:
            if (kind == ControlKind::TabSheet || kind == ControlKind::NotebookPage) return;
            if (control.Visible() == (w->visible() != 0)) return;
            control.Visible() ? w->show() : w->hide();
            Damage(w);
            KeepFocusVisible();
            return;
        case Change::Enabled:
            control.Enabled() ? w->activate() : w->deactivate();
            transparent ? Damage(w) : w->redraw();
            KeepFocusVisible();
            return;
        case Change::Checked:
            if (kind == ControlKind::CheckBox || kind == ControlKind::RadioButton) {
                static_cast<Fl_Button*>(w)->value(control.Checked() ? 1 : 0);
                Damage(w);
            }
            return;
        case Change::Items:
            if (kind == ControlKind::ListBox) {
                auto* list = static_cast<ToggleList*>(w);
                list->clear();
                for (const std::string& item : control.Items()) {
                    list->add(Utf8FromCp932(item).c_str());
                }
                Sync(control, Change::Marks);
            }
            return;
        case Change::Marks:
            if (kind == ControlKind::ListBox) {
                auto* list = static_cast<ToggleList*>(w);
                // Only changed items: FLTK puts its caret on the last item
                // selected or deselected.
                for (std::size_t i = 0; i < control.Count(); ++i) {
                    const int line = static_cast<int>(i) + 1;
                    if ((list->selected(line) != 0) != control.Marked(i)) {
                        list->select(line, control.Marked(i) ? 1 : 0);
                    }
                }
                list->redraw();
            }
            return;
        case Change::Page:
            if (kind == ControlKind::PageControl) {
                Control* page = control.ActivePage();
                auto* tabs = static_cast<PageTabs*>(w);
                if (page && WidgetOf(*page)) tabs->Value(tabs->find(WidgetOf(*page)));
                KeepFocusVisible();
            } else if (kind == ControlKind::Notebook) {
                Control* active = control.ActivePage();
                for (Control* page : control.Pages()) {
                    Fl_Widget* pw = WidgetOf(*page);
                    if (!pw) continue;
                    page == active ? pw->show() : pw->hide();
                }
                Damage(w);
                KeepFocusVisible();
            }
            return;
        case Change::Image:
            if (kind == ControlKind::Picture) {
                static_cast<PictureBox*>(w)->SetResource(control.Image());
                Damage(w);
            }
            return;
        case Change::Rows:
            if (kind == ControlKind::ListView) {
                std::vector<std::vector<std::string>> rows;
                for (const auto& row : control.Rows()) {
                    std::vector<std::string> cells;
                    for (const std::string& cell : row) cells.push_back(Utf8FromCp932(cell));
                    rows.push_back(std::move(cells));
                }
                static_cast<ReportTable*>(w)->SetRows(std::move(rows));
            }
            return;
        case Change::Color:
        case Change::Timer:
            return;
    }
}

void FormView::SyncCaption() {
    window_->copy_label(FltkUi::WindowTitleOf(form_.Caption()).c_str());
}

void FormView::SyncColor() {
    window_->color(ToFl(form_.BackColor(), FL_BACKGROUND_COLOR));
    window_->redraw();
}

void FormView::SyncVisible() {
    if (form_.Visible()) {
        if (window_->shown() && window_->visible()) return;
        if (form_.Decl().centred) {
            window_->position((Fl::w() - window_->w()) / 2, (Fl::h() - window_->h()) / 2);
        }
        // A window that opens (again) starts on its first control in tab
        // order, not on the one that last closed it.
        std::vector<Fl_Widget*> stops = TabStops();
        lastFocus_ = stops.empty() ? nullptr : stops.front();
        window_->show();
        if (lastFocus_ && (!Fl::modal() || Fl::modal() == window_.get())) lastFocus_->take_focus();
        if (!shown_) {
            RequestNoTitleButtons(*window_);
            shown_ = true;
        }
        KeepFocusVisible();
    } else if (window_->shown()) {
        window_->hide();
    }
}

void FormView::UserClick(Control& control) {
    switch (control.Kind()) {
        case ControlKind::Button:
            form_.UserClick(control.Name());
            return;
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            form_.UserClick(control.Name());
            // FLTK has already flipped the widget; show the control's answer.
            Sync(control, Change::Checked);
            return;
        case ControlKind::PageControl: {
            auto* tabs = static_cast<PageTabs*>(WidgetOf(control));
            form_.UserSelectPage(control.Name(), tabs->Value());
            Sync(control, Change::Page);
            return;
        }
        default:
            return;
    }
}

Control* FormView::ControlOf(const Fl_Widget* widget) const {
    auto it = controls_.find(widget);
    return it == controls_.end() ? nullptr : it->second;
}

void FormView::CollectTabStops(Fl_Group& group, std::vector<Fl_Widget*>* out) const {
    for (int i = 0; i < group.children(); ++i) {
        Fl_Widget* w = group.child(i);
        Control* control = ControlOf(w);
        if (!control || !w->visible() || !w->active()) continue;
        const ControlKind kind = control->Kind();
        if (TakesFocus(kind) && control->Decl().tabStop && w->visible_focus()) out->push_back(w);
        if (HoldsControls(kind) && w->as_group()) CollectTabStops(*w->as_group(), out);
    }
}

std::vector<Fl_Widget*> FormView::TabStops() const {
    std::vector<Fl_Widget*> stops;
    CollectTabStops(*window_, &stops);
    return stops;
}

// As a dialog does on a page change, a focus that would sit on a control the
// user cannot see (or use) goes to the first control in tab order; with
// none, to nothing until one appears.
void FormView::KeepFocusVisible() {
    if (!window_->shown() || !window_->visible()) return;
    if (Fl::modal() && Fl::modal() != window_.get()) return;
    Fl_Widget* f = Fl::focus();
    if (f && !window_->contains(f)) return;
    if (f && f != window_.get() && f->visible_r() && f->active_r()) return;
    std::vector<Fl_Widget*> stops = TabStops();
    if (!stops.empty()) {
        stops.front()->take_focus();
    } else if (f && f != window_.get()) {
        Fl::focus(window_.get());
    }
}

bool FormView::MoveInRadioGroup(Control& radio, bool forward) {
    // The radio buttons declared one after another in one container form a
    // group, as on Windows; the arrow keys move round it and check the one
    // they reach.
    const auto& all = form_.Controls();
    std::size_t at = 0;
    while (at < all.size() && all[at].get() != &radio) ++at;
    if (at == all.size()) return false;
    std::size_t first = at, last = at;
    auto sameGroup = [&](std::size_t i) {
        return all[i]->Kind() == ControlKind::RadioButton && all[i]->Parent() == radio.Parent();
    };
    while (first > 0 && sameGroup(first - 1)) --first;
    while (last + 1 < all.size() && sameGroup(last + 1)) ++last;
    const std::size_t count = last - first + 1;
    for (std::size_t step = 1; step < count; ++step) {
        const std::size_t offset = forward ? step : count - step;
        Control& next = *all[first + (at - first + offset) % count];
        Fl_Widget* w = WidgetOf(next);
        if (!w || !w->visible_r() || !w->active_r()) continue;
        w->take_focus();
        if (!next.Checked()) UserClick(next);
        return true;
    }
    return true;
}

bool FormView::SwitchPage(bool back) {
    for (const auto& control : form_.Controls()) {
        if (control->Kind() != ControlKind::PageControl) continue;
        auto* tabs = static_cast<PageTabs*>(WidgetOf(*control));
        if (!tabs || !tabs->visible_r() || !tabs->active_r() || tabs->children() == 0) continue;
        const int count = tabs->children();
        // The focus on the page that goes stays with the strip.
        Fl_Widget* f = Fl::focus();
        if (f && f != tabs && tabs->contains(f)) tabs->take_focus();
        tabs->Value((tabs->Value() + (back ? count - 1 : 1)) % count);
        UserClick(*control);
        return true;
    }
    return false;
}

bool FormView::Key(int key, int state) {
    const bool ctrl = (state & FL_CTRL) != 0;
    const bool shift = (state & FL_SHIFT) != 0;
    if (state & (FL_ALT | FL_META)) return false;
    if (key == FL_Tab) {
        if (ctrl) return SwitchPage(shift);
        std::vector<Fl_Widget*> stops = TabStops();
        if (stops.empty()) return true;
        Fl_Widget* f = Fl::focus();
        auto at = std::find(stops.begin(), stops.end(), f);
        std::size_t next = shift ? stops.size() - 1 : 0;
        if (at != stops.end()) {
            const std::size_t i = static_cast<std::size_t>(at - stops.begin());
            next = shift ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
        }
        stops[next]->take_focus();
        return true;
    }
    const bool arrow = key == FL_Up || key == FL_Down || key == FL_Left || key == FL_Right;
    if (!arrow) return false;
    Control* focused = ControlOf(Fl::focus());
    if (!focused) return false;
    switch (focused->Kind()) {
        case ControlKind::RadioButton:
            return MoveInRadioGroup(*focused, key == FL_Down || key == FL_Right);
        case ControlKind::Button:
        case ControlKind::CheckBox:
            // Each is a group of its own: the arrows go nowhere.
            return true;
        default:
            return false;  // lists and the tab strip use them
    }
}

void FormView::StartTimer(TimerSlot& slot) {
    Fl::remove_timeout(TimerTick, &slot);
    const int interval = slot.control->Decl().interval;
    if (slot.control->Enabled() && interval > 0) {
        Fl::add_timeout(interval / 1000.0, TimerTick, &slot);
    }
}

void FormView::TimerTick(void* p) {
    auto* slot = static_cast<TimerSlot*>(p);
    if (slot->view->ui_.QuitPosted()) return;
    // Re-arm before the handler runs: a handler that stops the timer, or
    // stops and starts it again, replaces this with its own choice.
    Fl::repeat_timeout(slot->control->Decl().interval / 1000.0, TimerTick, p);
    slot->view->form_.TimerTick(slot->control->Name());
}

void FormView::OnWidget(Fl_Widget* widget, void* control) {
    auto* view = static_cast<FormView*>(widget->window()->user_data());
    view->UserClick(*static_cast<Control*>(control));
}

void FormView::OnClose(Fl_Widget*, void* view) {
    auto* self = static_cast<FormView*>(view);
    // FLTK sends Escape here too. On Windows, Escape presses a form's cancel
    // button and does nothing on a form without one; only the close command
    // itself goes to the form, which decides.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
        for (const auto& control : self->form_.Controls()) {
            if (control->Kind() == ControlKind::Button &&
                control->Decl().modalResult == ModalResult::Cancel &&
                self->form_.IsUsable(*control)) {
                self->form_.UserClick(control->Name());
                return;
            }
        }
        return;
    }
    self->form_.UserClose();
}

}  // namespace sabrel::ui::fltk
