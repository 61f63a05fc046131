// SPDX-License-Identifier: MIT
// The FLTK backend (Linux): builds FLTK widgets from each form's declaration,
// keeps them in step with the portable controls, reports the user's clicks,
// double-clicks and tab changes back to the form, runs the forms' timers with
// Fl::add_timeout, and shows message boxes.
//
// FLTK wants one user-interface thread: the thread that constructs FltkUi.
// A message box asked for from another thread (the rebuild worker) is handed
// to that thread through Fl::awake, and the asking thread waits for the answer.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <thread>

#include "ui/form.h"
#include "ui/ui.h"

class Fl_Widget;
class Fl_Double_Window;

namespace sabrel::ui::fltk {

class FormView;

class FltkUi : public Ui, private FormObserver {
  public:
    // Opens the display; exits with FLTK's message when there is none.
    FltkUi();
    ~FltkUi() override;
    FltkUi(const FltkUi&) = delete;
    FltkUi& operator=(const FltkUi&) = delete;

    Answer MessageBox(BoxKind kind, const std::string& caption, const std::string& text) override;
    void SetAppTitle(const std::string& title) override;
    void AddForm(Form& form) override;
    void RemoveForm(Form& form) override;
    void Show(Form& form) override;
    ModalResult ShowModal(Form& form) override;
    void Hide(Form& form) override;
    void PostQuit() override;
    int Run() override;

    // The X window class of a form's window ("Sabrel" + the form's name), by
    // which tests and scripts find it; titles may not be ASCII.
    static std::string WindowClassOf(const Form& form);
    // The tail every window title gets after the form's caption (UTF-8), so
    // the desktop shows which installation is open; the captions stay as
    // the forms give them. Set before the forms are shown.
    static void SetTitleTail(const std::string& utf8);
    // A form's window title: its caption in UTF-8, then the tail.
    static std::string WindowTitleOf(const std::string& captionCp932);
    // The widget that shows a control (for tests), or nullptr.
    Fl_Widget* WidgetOf(const Control& control) const;
    Fl_Double_Window* WindowOf(const Form& form) const;

  private:
    void ControlChanged(Control& control, Change what) override;
    void FormChanged(Form& form, Change what) override;
    Answer BoxOnUiThread(BoxKind kind, const std::string& caption, const std::string& text);
    FormView* ViewOf(const Form& form) const;

    std::thread::id uiThread_;
    std::string appTitle_;
    std::map<const Form*, std::unique_ptr<FormView>> views_;
};

}  // namespace sabrel::ui::fltk
