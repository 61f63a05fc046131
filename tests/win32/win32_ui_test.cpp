// SPDX-License-Identifier: MIT
// The win32 backend under Wine: native controls follow the portable ones,
// user actions reach the handlers, the focus leaves controls that a page
// change hides, timers tick, message boxes asked for by another thread run
// on the user-interface thread with the texts table's buttons and sound as
// the system's own, and modal forms and quit requests end their loops.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/texts.h"
#include "ui/form.h"
#include "ui/ui.h"
#include "ui/win32/message_box.h"
#include "ui/win32/win32_ui.h"

namespace sabrel::ui::win32 {
namespace {

std::vector<UINT> g_beeps;

BOOL WINAPI RecordBeep(UINT type) {
    g_beeps.push_back(type);
    return TRUE;
}

}  // namespace
}  // namespace sabrel::ui::win32

// The backend's calls of MessageBeep come here: in a static link the import
// pointer defined by the program wins over the system library's.
extern "C" BOOL(WINAPI* g_beepImport)(UINT) __asm__("__imp__MessageBeep@4");
BOOL(WINAPI* g_beepImport)(UINT) = sabrel::ui::win32::RecordBeep;

namespace sabrel::ui::win32 {
namespace {

FormDecl MakeDecl() {
    FormDecl f;
    f.name = "FormT";
    f.caption = "テスト窓";
    f.clientWidth = 300;
    f.clientHeight = 200;
    f.color = kBlack;
    f.font = {kDefaultFace, kDefaultFontPx, false, false};
    auto& c = f.controls;
    c.push_back(LabelDecl("lb", "", 8, 8, "ラベル").Fg(kYellow));
    c.push_back(ButtonDecl("bt", "", 8, 40, 80, 24, "ボタン"));
    c.push_back(CheckBoxDecl("cb", "", 100, 40, 110, 20, "チェック"));
    c.push_back(GroupBoxDecl("gb", "", 8, 70, 200, 60));
    c.push_back(RadioDecl("r1", "gb", 8, 16, 80, 18, "一").Checked());
    c.push_back(RadioDecl("r2", "gb", 96, 16, 80, 18, "二"));
    c.push_back(ListBoxDecl("list", "", 220, 8, 70, 80).MultiSelect().Items({"A", "B", "C"}));
    c.push_back(NotebookDecl("nb", "", 8, 140, 200, 50));
    c.push_back(NotebookPageDecl("p0", "nb"));
    c.push_back(NotebookPageDecl("p1", "nb"));
    c.push_back(ButtonDecl("b0", "p0", 0, 0, 60, 20, "零"));
    c.push_back(ButtonDecl("b1", "p1", 0, 0, 60, 20, "壱"));
    c.push_back(ButtonDecl("done", "", 220, 160, 70, 24, "閉じる").Closes(ModalResult::Ok));
    c.push_back(ButtonDecl("late", "", 220, 100, 30, 20, "後").TabIndex(1));
    c.push_back(ButtonDecl("early", "", 260, 100, 30, 20, "先").TabIndex(0));
    c.push_back(TimerDecl("tm", 50, false));
    return f;
}

const FormDecl& TestDecl() {
    static const FormDecl decl = MakeDecl();
    return decl;
}

class TestForm : public Form {
  public:
    TestForm() : Form(TestDecl()) {
        Bind("bt", Event::Click, [this] { ++clicks; });
        Bind("lb", Event::DoubleClick, [this] { ++doubleClicks; });
        Bind("tm", Event::Timer, [this] { ++ticks; });
        Bind("b0", Event::Click, [this] { ++hiddenClicks; });
    }
    int clicks = 0;
    int doubleClicks = 0;
    int ticks = 0;
    int hiddenClicks = 0;
};

struct Found {
    std::string text;
    HWND hwnd = nullptr;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM param) {
    auto* f = reinterpret_cast<Found*>(param);
    char buf[256] = {};
    GetWindowTextA(child, buf, sizeof buf);
    if (f->text == buf) {
        f->hwnd = child;
        return FALSE;
    }
    return TRUE;
}

HWND Child(HWND top, const std::string& text) {
    Found f{text};
    EnumChildWindows(top, MatchChild, reinterpret_cast<LPARAM>(&f));
    return f.hwnd;
}

std::string TextOf(HWND hwnd) {
    char buf[256] = {};
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

bool Shown(HWND hwnd) {
    return IsWindowVisible(hwnd) != 0;
}

// The message box once it is shown, with all its controls.
HWND WaitForBox() {
    for (int i = 0; i < 500; ++i) {
        HWND box = FindWindowA(kBoxClass, nullptr);
        if (box && IsWindowVisible(box)) return box;
        Sleep(10);
    }
    return nullptr;
}

class Win32UiTest : public ::testing::Test {
  protected:
    void SetUp() override { Set(&ui_); }
    void TearDown() override { Set(nullptr); }

    // Runs the user-interface thread's messages for up to `ms` milliseconds.
    void Pump(int ms, const std::function<bool()>& until = {}) {
        const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
        while (static_cast<int>(end - GetTickCount()) > 0) {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) ui_.Dispatch(m);
            if (until && until()) return;
            Sleep(5);
        }
    }

    Win32Ui ui_{GetModuleHandleA(nullptr)};
};

TEST_F(Win32UiTest, NativeControlsFollowThePortableControls) {
    TestForm form;
    form.Show();
    HWND w = ui_.WindowOf(form);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(Shown(w));
    EXPECT_EQ(TextOf(w), "テスト窓");
    RECT client{};
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 200);

    HWND label = Child(w, "ラベル");
    ASSERT_NE(label, nullptr);
    RECT r{};
    GetWindowRect(label, &r);
    EXPECT_GT(r.right - r.left, 20);  // sized to its caption
    form.Get("lb").SetCaption("長いラベルの文字");
    EXPECT_EQ(TextOf(label), "長いラベルの文字");
    RECT wider{};
    GetWindowRect(label, &wider);
    EXPECT_GT(wider.right - wider.left, r.right - r.left);

    HWND cb = Child(w, "チェック");
    EXPECT_EQ(SendMessageA(cb, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    form.Get("cb").SetChecked(true);
    EXPECT_EQ(SendMessageA(cb, BM_GETCHECK, 0, 0), BST_CHECKED);

    HWND r1 = Child(w, "一"), r2 = Child(w, "二");
    EXPECT_EQ(SendMessageA(r1, BM_GETCHECK, 0, 0), BST_CHECKED);
    form.Get("r2").SetChecked(true);
    EXPECT_EQ(SendMessageA(r1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageA(r2, BM_GETCHECK, 0, 0), BST_CHECKED);
    // A group box's controls are its siblings, hidden along with it.
    form.Get("gb").SetVisible(false);
    EXPECT_FALSE(Shown(r1));
    EXPECT_FALSE(Shown(r2));
    form.Get("gb").SetVisible(true);
    EXPECT_TRUE(Shown(r1));

    HWND bt = Child(w, "ボタン");
    form.Get("bt").SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(bt));
    form.Get("bt").SetEnabled(true);
    EXPECT_TRUE(IsWindowEnabled(bt));

    HWND list = nullptr;
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        if (lstrcmpiA(cls, "ListBox") == 0) list = c;
    }
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
    form.Get("list").SetMarked(1, true);
    EXPECT_EQ(SendMessageA(list, LB_GETSEL, 0, 0), 0);
    EXPECT_GT(SendMessageA(list, LB_GETSEL, 1, 0), 0);
    form.Get("list").AddItem("D", true);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 4);
    EXPECT_GT(SendMessageA(list, LB_GETSEL, 3, 0), 0);
    EXPECT_GT(SendMessageA(list, LB_GETSEL, 1, 0), 0);

    HWND b0 = Child(w, "零"), b1 = Child(w, "壱");
    EXPECT_TRUE(Shown(b0));
    EXPECT_FALSE(Shown(b1));
    ASSERT_TRUE(form.Get("nb").ShowPage("p1"));
    EXPECT_FALSE(Shown(b0));
    EXPECT_TRUE(Shown(b1));

    // The keyboard meets the controls in their declared tab order.
    HWND early = Child(w, "先"), late = Child(w, "後");
    bool lateAfterEarly = false;
    for (HWND c = GetWindow(early, GW_HWNDNEXT); c; c = GetWindow(c, GW_HWNDNEXT)) {
        lateAfterEarly = lateAfterEarly || c == late;
    }
    EXPECT_TRUE(lateAfterEarly);

    form.Hide();
    EXPECT_FALSE(Shown(w));
}

TEST_F(Win32UiTest, UserActionsReachTheHandlers) {
    TestForm form;
    form.Show();
    HWND w = ui_.WindowOf(form);
    HWND bt = Child(w, "ボタン");
    SendMessageA(bt, BM_CLICK, 0, 0);
    EXPECT_EQ(form.clicks, 1);
    // The return key presses the push button that has the focus.
    SetFocus(bt);
    MSG key{bt, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    ui_.Dispatch(key);
    EXPECT_EQ(form.clicks, 2);

    HWND cb = Child(w, "チェック");
    SendMessageA(cb, BM_CLICK, 0, 0);
    EXPECT_TRUE(form.Get("cb").Checked());
    EXPECT_EQ(SendMessageA(cb, BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageA(Child(w, "二"), BM_CLICK, 0, 0);
    EXPECT_TRUE(form.Get("r2").Checked());
    EXPECT_FALSE(form.Get("r1").Checked());
    EXPECT_EQ(SendMessageA(Child(w, "一"), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    // A disabled check box keeps its mark whatever reaches it.
    form.Get("cb").SetEnabled(false);
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(cb), BN_CLICKED),
                 reinterpret_cast<LPARAM>(cb));
    EXPECT_TRUE(form.Get("cb").Checked());

    HWND label = Child(w, "ラベル");
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(label), STN_DBLCLK),
                 reinterpret_cast<LPARAM>(label));
    EXPECT_EQ(form.doubleClicks, 1);

    // The window's close command hides a form that agrees.
    SendMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(form.Visible());
    EXPECT_FALSE(Shown(w));
}

// A page change that hides the focused button moves the focus to the first
// control in tab order that is shown, so the return key presses a button the
// user can see, not the hidden one.
TEST_F(Win32UiTest, FocusLeavesAHiddenPage) {
    TestForm form;
    form.Show();
    HWND w = ui_.WindowOf(form);
    HWND b0 = Child(w, "零");
    SetFocus(b0);
    ASSERT_EQ(GetFocus(), b0);
    ASSERT_TRUE(form.Get("nb").ShowPage("p1"));
    EXPECT_EQ(GetFocus(), Child(w, "ボタン"));
    MSG key{GetFocus(), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    ui_.Dispatch(key);
    EXPECT_EQ(form.clicks, 1);
    EXPECT_EQ(form.hiddenClicks, 0);
}

TEST_F(Win32UiTest, TimerTicksWhileRunning) {
    TestForm form;
    form.Get("tm").SetEnabled(true);
    Pump(600);
    EXPECT_GE(form.ticks, 4);
    EXPECT_LE(form.ticks, 14);
    form.Get("tm").SetEnabled(false);
    const int stopped = form.ticks;
    Pump(200);
    EXPECT_EQ(form.ticks, stopped);
}

TEST_F(Win32UiTest, BoxFromAnotherThreadRunsOnTheUserInterfaceThread) {
    TestForm form;
    form.Show();
    for (bool yes : {false, true}) {
        g_beeps.clear();
        std::atomic<bool> done{false};
        Answer answer = Answer::Ok;
        std::thread worker([&] {
            answer = Get().MessageBox(BoxKind::Confirm, texts::kConfirmCaption, "続けますか");
            done = true;
        });
        DWORD boxThread = 0;
        std::string caption;
        std::vector<std::string> buttons;
        bool openAfterClose = false, answeredEarly = false;
        std::thread user([&] {
            HWND box = WaitForBox();
            if (!box) return;
            boxThread = GetWindowThreadProcessId(box, nullptr);
            caption = TextOf(box);
            for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                char cls[32] = {};
                GetClassNameA(c, cls, sizeof cls);
                if (lstrcmpiA(cls, "Button") == 0) buttons.push_back(TextOf(c));
            }
            // A question wants a button: the close command does nothing.
            PostMessageA(box, WM_CLOSE, 0, 0);
            Sleep(200);
            openAfterClose = IsWindow(box) != 0;
            answeredEarly = done;
            PostMessageA(Child(box, yes ? texts::kButtonYes : texts::kButtonNo), BM_CLICK, 0, 0);
        });
        Pump(8000, [&] { return done.load(); });
        worker.join();
        user.join();
        EXPECT_EQ(boxThread, GetCurrentThreadId());
        EXPECT_EQ(caption, texts::kConfirmCaption.c_str());
        EXPECT_EQ(buttons, (std::vector<std::string>{texts::kButtonYes, texts::kButtonNo}));
        EXPECT_TRUE(openAfterClose);
        EXPECT_FALSE(answeredEarly);
        EXPECT_EQ(answer, yes ? Answer::Yes : Answer::No);
        EXPECT_EQ(g_beeps, std::vector<UINT>{MB_ICONQUESTION});
    }
}

TEST_F(Win32UiTest, PlainWarningAndErrorBoxesCarryTheirButtonsAndSound) {
    for (BoxKind kind : {BoxKind::Plain, BoxKind::Warning, BoxKind::Error}) {
        g_beeps.clear();
        std::vector<std::string> buttons;
        std::thread user([&] {
            HWND box = WaitForBox();
            if (!box) return;
            for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                char cls[32] = {};
                GetClassNameA(c, cls, sizeof cls);
                if (lstrcmpiA(cls, "Button") == 0) buttons.push_back(TextOf(c));
            }
            // Their close command answers as their only button does.
            PostMessageA(box, WM_CLOSE, 0, 0);
        });
        Answer a = Get().MessageBox(kind, texts::kAppTitle, "一行目\r\n二行目");
        user.join();
        EXPECT_EQ(buttons, ButtonsOf(kind));
        const UINT sound = kind == BoxKind::Plain     ? MB_OK
                           : kind == BoxKind::Warning ? MB_ICONEXCLAMATION
                                                      : MB_ICONHAND;
        EXPECT_EQ(g_beeps, std::vector<UINT>{sound});
        EXPECT_EQ(a, kind == BoxKind::Warning ? Answer::Yes : Answer::Ok);
    }
}

TEST_F(Win32UiTest, ModalFormEndsByItsButtonAndFreesTheOthers) {
    TestForm main;
    main.Show();
    TestForm dialog;
    HWND mainWindow = ui_.WindowOf(main);
    bool mainDisabledMeanwhile = false;
    std::thread user([&] {
        HWND d = nullptr;
        for (int i = 0; i < 500; ++i) {
            d = ui_.WindowOf(dialog);
            if (d && IsWindowVisible(d)) break;
            Sleep(10);
        }
        mainDisabledMeanwhile = !IsWindowEnabled(mainWindow);
        PostMessageA(Child(d, "閉じる"), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(dialog.ShowModal(), ModalResult::Ok);
    user.join();
    EXPECT_TRUE(mainDisabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(mainWindow));
    EXPECT_FALSE(IsWindowVisible(ui_.WindowOf(dialog)));
}

BOOL CALLBACK CollectButtonWindow(HWND hwnd, LPARAM param) {
    const LONG ex = GetWindowLongA(hwnd, GWL_EXSTYLE);
    const bool owned = GetWindow(hwnd, GW_OWNER) != nullptr;
    if (IsWindowVisible(hwnd) && !(ex & WS_EX_TOOLWINDOW) && (!owned || (ex & WS_EX_APPWINDOW))) {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    }
    return TRUE;
}

// The windows of this thread that the task bar gives a button: shown, not a
// tool window, and either unowned or marked as an application window.
std::vector<HWND> TaskBarWindows() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectButtonWindow,
                      reinterpret_cast<LPARAM>(&windows));
    return windows;
}

TEST_F(Win32UiTest, TaskBarButtonReadsTheApplicationTitle) {
    ui_.SetAppTitle(texts::kAppTitleBoot);
    EXPECT_EQ(FindWindowA(texts::kAppWindowClass, texts::kAppTitle), nullptr);
    ui_.SetAppTitle(texts::kAppTitle);
    HWND app = FindWindowA(texts::kAppWindowClass, texts::kAppTitle);
    ASSERT_NE(app, nullptr);
    EXPECT_TRUE(TaskBarWindows().empty());

    TestForm main;
    TestForm other;
    main.Show();
    other.Show();
    Pump(50);
    HWND mainWindow = ui_.WindowOf(main);
    EXPECT_EQ(TaskBarWindows(), std::vector<HWND>{app});
    EXPECT_EQ(GetWindow(mainWindow, GW_OWNER), app);
    EXPECT_EQ(GetWindow(ui_.WindowOf(other), GW_OWNER), mainWindow);
    EXPECT_EQ(GetActiveWindow(), ui_.WindowOf(other));

    // Activated through its button, the application window hands activation
    // to the main form; the task bar's close is refused as the form's is.
    SetActiveWindow(app);
    Pump(500, [&] { return GetActiveWindow() == mainWindow; });
    EXPECT_EQ(GetActiveWindow(), mainWindow);
    SendMessageA(app, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(app));

    main.Hide();
    EXPECT_TRUE(TaskBarWindows().empty());
}

TEST_F(Win32UiTest, QuitFromAnotherThreadEndsTheLoop) {
    TestForm form;
    form.Show();
    std::thread worker([] {
        Sleep(100);
        AskToEnd();
    });
    EXPECT_EQ(ui_.Run(), 0);
    worker.join();
    EXPECT_TRUE(ui_.QuitPosted());
}

}  // namespace
}  // namespace sabrel::ui::win32
