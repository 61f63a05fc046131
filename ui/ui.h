// SPDX-License-Identifier: MIT
// The user-interface services that the core calls: message boxes, showing
// forms, the forms' timers, the message loop and the end of the program. One
// interface, with win32, fltk and script backends.
//
// Message boxes may be asked for from any thread; a backend whose toolkit wants
// one UI thread runs the box there and blocks the caller until it is answered.
// Everything else is called on the user-interface thread.
//
// Timers are controls (ui/form.h): a backend ticks every timer whose Enabled
// state is on, every `interval` ms, through Form::TimerTick, and re-arms it
// from a full interval whenever it is started again.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "ui/form_decl.h"

namespace sabrel::ui {

class Form;

enum class BoxKind {
    Plain,    // caption = application title, one OK button
    Confirm,  // caption "確認", buttons "はい(&Y)" and "いいえ(&N)"
    Warning,  // caption "警告", the single button "はい(&Y)"
    Error,    // error box with one OK button and the given caption
};

enum class Answer { Ok, Yes, No };

class Ui {
  public:
    virtual ~Ui() = default;

    // `caption` and `text` are code page 932 bytes. Any thread.
    virtual Answer MessageBox(BoxKind kind, const std::string& caption,
                              const std::string& text) = 0;

    // The application's title (task bar, single-instance mark).
    virtual void SetAppTitle(const std::string& title) { (void)title; }

    // A form was created / is being destroyed. A backend builds its widgets
    // here (hidden) and observes the form's state (Form::SetObserver).
    // AddForm runs inside Form's constructor, before the derived form's
    // constructor (and so its creation handler) has run: the observer then
    // hears of every change that creation makes.
    virtual void AddForm(Form& form) { (void)form; }
    virtual void RemoveForm(Form& form) { (void)form; }

    // Form::Show/ShowModal/Hide call these after updating the form's own state.
    virtual void Show(Form& form) { (void)form; }
    // Runs events until the form's modal result is set or it is hidden.
    virtual ModalResult ShowModal(Form& form);
    virtual void Hide(Form& form) { (void)form; }

    // Asks the application to end: takes effect once the current handler has
    // returned; the windows are then destroyed without further question.
    virtual void PostQuit() { quitPosted_ = true; }
    bool QuitPosted() const { return quitPosted_; }

    // The message loop: runs until a quit has been posted. Returns the exit code.
    virtual int Run() { return 0; }

  protected:
    std::atomic<bool> quitPosted_{false};
};

Ui& Get();
// The backend in use, or nullptr before one is set.
Ui* Current();
void Set(Ui* ui);

// A plain message box with the application title and one OK button.
void ShowMessage(const std::string& text);
// The confirmation box; true for "はい(&Y)".
bool Confirm(const std::string& text);
// The warning box "警告" with the single button "はい(&Y)".
void ShowWarning(const std::string& text);
// An error box with one OK button and the given caption.
void ShowError(const std::string& caption, const std::string& text);
// The texts of a box's buttons, left to right.
std::vector<std::string> ButtonsOf(BoxKind kind);

// Asks the application to end (see Ui::PostQuit).
void AskToEnd();

// The single-instance rule: another copy carries the application title
// "Quillmere" on its application window.
bool AnotherInstanceRunning();
// Marks this copy as the running one.
void ClaimInstance();

}  // namespace sabrel::ui
