// SPDX-License-Identifier: MIT
// One form's FLTK window and widgets, built from the form's declaration and
// kept in step with its portable controls.
#pragma once

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "art/artwork.h"
#include "ui/form.h"

class Fl_Widget;
class Fl_Group;

namespace sabrel::ui {
class Ui;
}

namespace sabrel::ui::fltk {

class FormView : public FormWindowBase {
  public:
    FormView(Ui& ui, Form& form);
    ~FormView();
    FormView(const FormView&) = delete;
    FormView& operator=(const FormView&) = delete;

    Fl_Double_Window& Window() { return *window_; }
    // A window that appears is centred on the screen when the form asks for
    // it.
    void SyncVisible() override;
    void SyncCaption() override;
    void SyncColor() override;
    void ControlChanged(Control& control, Change what);

    // The widget built for a control, or nullptr (timers, image lists, ...).
    Fl_Widget* WidgetOf(const Control& control) const;

    // The controls that Tab visits, in order: visible and enabled, depth first
    // in declared tab order, a tab strip followed by the page in front.
    std::vector<Fl_Widget*> TabStops() const;
    // A key pressed while this window has the keyboard; true when it was used.
    bool Key(int key, int state);
    // Gives the focus to the first tab stop when the focus is on nothing, or
    // on a control that is hidden or disabled.
    void KeepFocusVisible();
    // The control of this window that last had the focus, or nullptr.
    Fl_Widget* LastFocus() const { return lastFocus_; }
    void RememberFocus(Fl_Widget* widget) {
        if (widget != window_.get()) lastFocus_ = widget;
    }

  private:
    struct Origin {
        Fl_Group* group;
        int x, y;
    };
    struct TimerSlot {
        FormView* view;
        Control* control;
    };

    void Build(Control& control);
    void CollectTabStops(Fl_Group& group, std::vector<Fl_Widget*>* out) const;
    Control* ControlOf(const Fl_Widget* widget) const;
    bool MoveInRadioGroup(Control& radio, bool forward);
    bool SwitchPage(bool back);
    void OrderByTabOrder();
    void Sync(Control& control, Change what);
    void SyncAll(Control& control);
    void FitLabel(Control& control);
    void Damage(Fl_Widget* widget);
    void UserClick(Control& control);
    void StartTimer(TimerSlot& slot);
    static void TimerTick(void* slot);
    static void OnWidget(Fl_Widget* widget, void* control);
    static void OnClose(Fl_Widget* window, void* view);

    Ui& ui_;
    Form& form_;
    std::unique_ptr<Fl_Double_Window> window_;
    std::map<const Control*, Fl_Widget*> widgets_;
    std::map<const Fl_Widget*, Control*> controls_;
    std::map<const Control*, Origin> origins_;
    std::vector<std::unique_ptr<TimerSlot>> timers_;
    art::Image iconPixels_{};
    std::unique_ptr<Fl_RGB_Image> icon_;
    bool shown_ = false;
    Fl_Widget* lastFocus_ = nullptr;
};

}  // namespace sabrel::ui::fltk
