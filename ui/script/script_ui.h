// SPDX-License-Identifier: MIT
// The headless backend for tests. It answers message boxes from a script (a
// queue of answers) and records every box it shows, byte for byte; it fires
// clicks, double-clicks and timer ticks when the test asks; it records shows,
// modal shows and quit requests, and runs a scripted step while a modal form
// is "open", so a test can use the controls inside it.
//
// Anything the script did not provide for (a box with no answer queued, a
// modal show with no step queued, a wrong box) fails loudly through the
// failure handler: by default a message on stderr and abort().
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/ui.h"

namespace sabrel::ui {

struct BoxRecord {
    BoxKind kind = BoxKind::Plain;
    std::string caption;               // bytes as given
    std::string text;                  // bytes as given
    std::vector<std::string> buttons;  // texts, left to right
    Answer answer = Answer::Ok;
    bool expected = true;  // false: no scripted answer fitted this box
};

class ScriptUi : public Ui {
  public:
    // Makes itself the current backend; the previous one is put back on
    // destruction.
    ScriptUi();
    ~ScriptUi() override;

    // --- Message boxes ----------------------------------------------------------
    // The next box is answered with `answer`.
    void QueueAnswer(Answer answer);
    // The next box must be of this kind with exactly this text; it is answered
    // with `answer`.
    void ExpectBox(BoxKind kind, std::string text, Answer answer);
    // Plain and error boxes without a queued answer are answered OK and
    // recorded as expected.
    void SetAutoOk(bool on);
    std::vector<BoxRecord> Boxes() const;
    std::size_t PendingAnswers() const;
    void SetFailureHandler(std::function<void(const std::string&)> handler);

    Answer MessageBox(BoxKind kind, const std::string& caption, const std::string& text) override;

    // --- Forms -------------------------------------------------------------------
    void AddForm(Form& form) override;
    void RemoveForm(Form& form) override;
    Form* FindForm(const std::string& name) const;

    void Show(Form& form) override;
    void Hide(Form& form) override;
    // Records the show, then runs the next queued modal step with the form
    // open; the form closes when the step returns (or earlier, when a button
    // with a modal result is pressed or the form is hidden).
    ModalResult ShowModal(Form& form) override;
    void QueueModal(std::function<void(Form&)> step);
    std::vector<std::string> ShowLog() const;   // form names, Show()
    std::vector<std::string> ModalLog() const;  // form names, ShowModal()

    // User actions on open forms; false when the control cannot take the
    // action, and always once the application has been asked to end.
    bool Click(Form& form, const std::string& control);
    bool ClickItem(Form& form, const std::string& control, std::size_t index);
    bool DoubleClick(Form& form, const std::string& control);
    bool SelectPage(Form& form, const std::string& control, int index);
    bool Close(Form& form);
    // One tick of a running timer.
    bool Tick(Form& form, const std::string& timer);

    // --- The end of the program ----------------------------------------------------
    void PostQuit() override;
    int QuitRequests() const;

    // The message loop runs the driver (if any) and returns 0.
    void SetLoop(std::function<void(ScriptUi&)> driver);
    int Run() override;
    int LoopRuns() const { return loopRuns_; }

    void SetAppTitle(const std::string& title) override;
    std::string AppTitle() const;

  private:
    struct Scripted {
        Answer answer;
        bool checkBox;
        BoxKind kind;
        std::string text;
    };
    void Fail(const std::string& what);

    mutable std::mutex mutex_;
    Ui* previous_;
    std::deque<Scripted> answers_;
    std::vector<BoxRecord> boxes_;
    bool autoOk_ = false;
    std::function<void(const std::string&)> onFailure_;
    std::vector<Form*> forms_;
    std::deque<std::function<void(Form&)>> modalSteps_;
    std::vector<std::string> showLog_;
    std::vector<std::string> modalLog_;
    int quitRequests_ = 0;
    std::function<void(ScriptUi&)> loop_;
    int loopRuns_ = 0;
    std::string appTitle_;
};

// One line per control with its live state, for test failure output.
std::string DescribeForm(const Form& form);

}  // namespace sabrel::ui
