// SPDX-License-Identifier: MIT
// The win32 backend (Windows 95/98/Me): builds native controls from each
// form's declaration, keeps them in step with the portable controls, reports
// clicks, double-clicks, tab changes and timer ticks back to the form, and
// shows the program's own message boxes.
//
// The thread that constructs Win32Ui is the user-interface thread. A message
// box asked for from another thread (the rebuild worker) is sent to the hidden
// application window, so it runs on the user-interface thread while the asking
// thread waits inside SendMessage for the answer.
//
// The application window: a top-level window of the class "TApplication",
// without size, whose title is the application title. It owns the main form
// and is shown while the main form is, so the task bar's button reads the
// application title ("Quillmere"), not the form's caption; the single-instance
// search of a later copy (FindWindowA) finds it once the title is "Quillmere".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/ui.h"
#include "ui/win32/windows_api.h"

namespace sabrel::ui::win32 {

class FormWindow;

class Win32Ui : public Ui, private FormObserver {
  public:
    explicit Win32Ui(HINSTANCE instance);
    ~Win32Ui() override;
    Win32Ui(const Win32Ui&) = delete;
    Win32Ui& operator=(const Win32Ui&) = delete;

    Answer MessageBox(BoxKind kind, const std::string& caption, const std::string& text) override;
    void SetAppTitle(const std::string& title) override;
    void AddForm(Form& form) override;
    void RemoveForm(Form& form) override;
    void Show(Form& form) override;
    ModalResult ShowModal(Form& form) override;
    void Hide(Form& form) override;
    void PostQuit() override;
    int Run() override;

    HINSTANCE Instance() const { return instance_; }
    // The top-level window of a form, or nullptr.
    HWND WindowOf(const Form& form) const;
    // The first form's window owns the others, as a main window does; the
    // application window owns it.
    HWND MainWindow() const;

    // Dispatches one message the way the program's loops do: keyboard
    // navigation for the program's own windows.
    void Dispatch(MSG& msg);

  private:
    void ControlChanged(Control& control, Change what) override;
    void FormChanged(Form& form, Change what) override;
    Answer BoxOnUiThread(BoxKind kind, const std::string& caption, const std::string& text);
    FormWindow* ViewOf(const Form& form) const;
    std::vector<HWND> TopWindows() const;
    // Shows the application window (without activating it) while the main
    // form is visible, and hides it otherwise.
    void SyncAppWindow();
    // Hands the activation that the application window received on to the
    // main form, or to the dialog that disables it.
    void PassActivation();
    static LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    DWORD uiThread_;
    HWND appWindow_ = nullptr;
    std::vector<std::pair<const Form*, std::unique_ptr<FormWindow>>> views_;
};

}  // namespace sabrel::ui::win32
