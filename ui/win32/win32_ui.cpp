// SPDX-License-Identifier: MIT
#include "ui/win32/win32_ui.h"

#include "common/texts.h"
#include "ui/win32/form_window.h"
#include "ui/win32/message_box.h"

namespace sabrel::ui::win32 {

namespace {

// Sent by another thread: run a message box (lParam: BoxRequest*).
constexpr UINT kMsgBox = WM_APP + 1;
// Posted by another thread: end the message loop.
constexpr UINT kMsgQuit = WM_APP + 2;
// Posted to the application window when it is activated: pass activation on.
constexpr UINT kMsgPassActivation = WM_APP + 3;

struct BoxRequest {
    BoxKind kind;
    const std::string* caption;
    const std::string* text;
    Answer answer;
};

Answer AnswerOf(BoxKind kind, int button) {
    if (kind == BoxKind::Confirm) return button == 0 ? Answer::Yes : Answer::No;
    if (kind == BoxKind::Warning) return Answer::Yes;
    return Answer::Ok;
}

// What a box answers when it cannot be shown: never a "yes".
Answer Unanswered(BoxKind kind) {
    return AnswerOf(kind, kind == BoxKind::Confirm ? 1 : 0);
}

HWND TopLevelOf(HWND hwnd) {
    while (hwnd && (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD)) hwnd = GetParent(hwnd);
    return hwnd;
}

}  // namespace

Win32Ui::Win32Ui(HINSTANCE instance) : instance_(instance), uiThread_(GetCurrentThreadId()) {
    // Registers the list view and tab control classes. The Ex form is missing
    // from Windows 95's first common controls library.
    InitCommonControls();
    WNDCLASSA wc{};
    wc.lpfnWndProc = AppProc;
    wc.hInstance = instance;
    wc.lpszClassName = texts::kAppWindowClass;
    RegisterClassA(&wc);
    // The application window carries the task-bar button with the application
    // title: it owns the main form, which therefore has no button of its own.
    // It has no size, so that while shown it is never seen; the caption and
    // the system menu give its button the menu and minimising of a window.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
    appWindow_ =
        CreateWindowExA(0, texts::kAppWindowClass, "",
                        WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y,
                        0, 0, nullptr, nullptr, instance, this);
}

Win32Ui::~Win32Ui() {
    views_.clear();
    if (appWindow_) {
        SetWindowLongA(appWindow_, GWL_USERDATA, 0);
        DestroyWindow(appWindow_);
    }
}

LRESULT CALLBACK Win32Ui::AppProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongA(hwnd, GWL_USERDATA, reinterpret_cast<LONG>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Ui*>(GetWindowLongA(hwnd, GWL_USERDATA));
    if (self && msg == kMsgBox) {
        auto* r = reinterpret_cast<BoxRequest*>(lParam);
        r->answer = self->BoxOnUiThread(r->kind, *r->caption, *r->text);
        return 0;
    }
    if (msg == kMsgQuit) {
        PostQuitMessage(static_cast<int>(wParam));
        return 0;
    }
    // The task bar's close asks the application window; the main form refuses
    // every close, and so does the window that stands for it.
    if (msg == WM_CLOSE) return 0;
    // Activated through its task-bar button: the user means the program's
    // window in front, the main form or the dialog it waits for.
    if (msg == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
        PostMessageA(hwnd, kMsgPassActivation, 0, 0);
    }
    if (self && msg == kMsgPassActivation) {
        self->PassActivation();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

FormWindow* Win32Ui::ViewOf(const Form& form) const {
    for (const auto& [f, view] : views_) {
        if (f == &form) return view.get();
    }
    return nullptr;
}

HWND Win32Ui::WindowOf(const Form& form) const {
    FormWindow* view = ViewOf(form);
    return view ? view->Hwnd() : nullptr;
}

HWND Win32Ui::MainWindow() const {
    return views_.empty() ? nullptr : views_.front().second->Hwnd();
}

std::vector<HWND> Win32Ui::TopWindows() const {
    std::vector<HWND> windows;
    for (const auto& [f, view] : views_) windows.push_back(view->Hwnd());
    return windows;
}

Answer Win32Ui::BoxOnUiThread(BoxKind kind, const std::string& caption, const std::string& text) {
    std::vector<HWND> ours = TopWindows();
    HWND owner = GetActiveWindow();
    bool isOurs = false;
    for (HWND w : ours) isOurs = isOurs || w == owner;
    if (!isOurs) {
        owner = nullptr;
        for (HWND w : ours) {
            if (IsWindowVisible(w)) {
                owner = w;
                break;
            }
        }
    }
    int button = RunMessageBox(instance_, owner, ours, kind, caption, text, ButtonsOf(kind));
    return AnswerOf(kind, button);
}

Answer Win32Ui::MessageBox(BoxKind kind, const std::string& caption, const std::string& text) {
    if (GetCurrentThreadId() == uiThread_) return BoxOnUiThread(kind, caption, text);
    BoxRequest request{kind, &caption, &text, Unanswered(kind)};
    // Blocks until the user-interface thread has run the box; fails at once
    // (leaving the unanswered result) when the window is already gone.
    SendMessageA(appWindow_, kMsgBox, 0, reinterpret_cast<LPARAM>(&request));
    return request.answer;
}

void Win32Ui::SetAppTitle(const std::string& title) {
    if (appWindow_) SetWindowTextA(appWindow_, title.c_str());
}

void Win32Ui::SyncAppWindow() {
    HWND main = MainWindow();
    const bool wanted = main && views_.front().first->Visible();
    if (!appWindow_ || wanted == (IsWindowVisible(appWindow_) != 0)) return;
    ShowWindow(appWindow_, wanted ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void Win32Ui::PassActivation() {
    HWND main = MainWindow();
    if (!main || GetActiveWindow() != appWindow_ || IsIconic(appWindow_)) return;
    HWND target = IsWindowEnabled(main) ? main : GetLastActivePopup(main);
    if (target && IsWindowVisible(target)) SetActiveWindow(target);
}

void Win32Ui::AddForm(Form& form) {
    // The first form is the main window: the application window owns it, and
    // it owns the others.
    HWND owner = views_.empty() ? appWindow_ : MainWindow();
    views_.emplace_back(&form, std::make_unique<FormWindow>(*this, form, owner));
    form.SetObserver(this);
}

void Win32Ui::RemoveForm(Form& form) {
    if (form.Observer() == this) form.SetObserver(nullptr);
    for (auto it = views_.begin(); it != views_.end(); ++it) {
        if (it->first == &form) {
            views_.erase(it);
            return;
        }
    }
}

void Win32Ui::Show(Form& form) {
    // The application window first, so that the form comes out active.
    SyncAppWindow();
    if (FormWindow* view = ViewOf(form)) view->SyncVisible();
}

void Win32Ui::Hide(Form& form) {
    if (FormWindow* view = ViewOf(form)) view->SyncVisible();
    SyncAppWindow();
}

ModalResult Win32Ui::ShowModal(Form& form) {
    FormWindow* view = ViewOf(form);
    if (!view) return Ui::ShowModal(form);
    HWND previous = GetActiveWindow();
    // Modal to the program: every other window of it is disabled meanwhile.
    std::vector<HWND> disabled;
    for (HWND w : TopWindows()) {
        if (w != view->Hwnd() && IsWindowEnabled(w)) {
            EnableWindow(w, FALSE);
            disabled.push_back(w);
        }
    }
    form.BeginModal();
    view->SyncVisible();
    while (form.ModalRunning() && !QuitPosted()) {
        MSG m;
        if (GetMessageA(&m, nullptr, 0, 0) <= 0) {
            // The outer loop must see the quit request too.
            quitPosted_ = true;
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        Dispatch(m);
    }
    // Enabled again before the dialog hides, so that activation returns here.
    for (HWND w : disabled) EnableWindow(w, TRUE);
    ModalResult result = form.EndModal();
    view->SyncVisible();
    if (previous && IsWindow(previous) && IsWindowVisible(previous)) SetActiveWindow(previous);
    return result;
}

void Win32Ui::Dispatch(MSG& msg) {
    HWND top = TopLevelOf(msg.hwnd);
    if (top) {
        for (const auto& [f, view] : views_) {
            // Tab, arrow keys, return and mnemonics move between the controls.
            if (view->Hwnd() != top) continue;
            if (view->NavigationKey(msg) || IsDialogMessageA(top, &msg)) return;
        }
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void Win32Ui::PostQuit() {
    Ui::PostQuit();
    if (GetCurrentThreadId() == uiThread_) {
        PostQuitMessage(0);
    } else if (appWindow_) {
        PostMessageA(appWindow_, kMsgQuit, 0, 0);
    }
}

int Win32Ui::Run() {
    MSG m{};
    int rc = 0;
    while ((rc = GetMessageA(&m, nullptr, 0, 0)) > 0) Dispatch(m);
    quitPosted_ = true;
    // The windows go without further question.
    for (const auto& [f, view] : views_) ShowWindow(view->Hwnd(), SW_HIDE);
    if (appWindow_) ShowWindow(appWindow_, SW_HIDE);
    return rc == 0 ? static_cast<int>(m.wParam) : 0;
}

void Win32Ui::ControlChanged(Control& control, Change what) {
    if (FormWindow* view = ViewOf(control.Owner())) view->ControlChanged(control, what);
}

void Win32Ui::FormChanged(Form& form, Change what) {
    // As in Show and Hide: the application window comes before the main form
    // and goes after it.
    if (form.Visible()) SyncAppWindow();
    if (FormWindow* view = ViewOf(form)) view->FormChanged(what);
    if (!form.Visible()) SyncAppWindow();
}

}  // namespace sabrel::ui::win32
