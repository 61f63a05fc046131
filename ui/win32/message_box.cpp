// SPDX-License-Identifier: MIT
#include "ui/win32/message_box.h"

#include <algorithm>

namespace sabrel::ui::win32 {

namespace {

constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kButtonMinWidth = 82;
constexpr int kButtonHeight = 24;
constexpr int kButtonGap = 8;
constexpr int kFirstButtonId = 100;
constexpr int kTextPx = 12;

struct BoxState {
    int answer = -1;
    // The answer to escape and the close command; -1: they do nothing.
    int closeAnswer = -1;
};

LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<BoxState*>(GetWindowLongA(hwnd, GWL_USERDATA));
    switch (msg) {
        case WM_NCCREATE: {
            auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
            SetWindowLongA(hwnd, GWL_USERDATA, reinterpret_cast<LONG>(cs->lpCreateParams));
            break;
        }
        case WM_COMMAND: {
            if (!state || HIWORD(wParam) != BN_CLICKED) break;
            int id = LOWORD(wParam);
            // The return key on a button that is not the default one.
            if (id == IDOK) id = GetDlgCtrlID(GetFocus());
            if (id >= kFirstButtonId) {
                state->answer = id - kFirstButtonId;
            } else if (id == IDCANCEL && state->closeAnswer >= 0) {
                state->answer = state->closeAnswer;
            }
            return 0;
        }
        case WM_CLOSE:
            if (state && state->closeAnswer >= 0) state->answer = state->closeAnswer;
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RegisterBoxClass(HINSTANCE instance) {
    WNDCLASSA wc{};
    if (GetClassInfoA(instance, kBoxClass, &wc)) return;
    wc.lpfnWndProc = BoxProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kBoxClass;
    RegisterClassA(&wc);
}

LPCSTR IconOf(BoxKind kind) {
    switch (kind) {
        case BoxKind::Confirm:
            return reinterpret_cast<LPCSTR>(IDI_QUESTION);
        case BoxKind::Warning:
            return reinterpret_cast<LPCSTR>(IDI_EXCLAMATION);
        case BoxKind::Error:
            return reinterpret_cast<LPCSTR>(IDI_HAND);
        case BoxKind::Plain:
            break;
    }
    return nullptr;
}

// The sound the system's own message box makes for the same icon.
UINT SoundOf(BoxKind kind) {
    switch (kind) {
        case BoxKind::Confirm:
            return MB_ICONQUESTION;
        case BoxKind::Warning:
            return MB_ICONEXCLAMATION;
        case BoxKind::Error:
            return MB_ICONHAND;
        case BoxKind::Plain:
            break;
    }
    return MB_OK;
}

SIZE MeasureText(HFONT font, const std::string& text, UINT format) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, 0, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

int RunMessageBox(HINSTANCE instance, HWND owner, const std::vector<HWND>& disable, BoxKind kind,
                  const std::string& caption, const std::string& text,
                  const std::vector<std::string>& buttons) {
    RegisterBoxClass(instance);
    BoxState state;
    const int last = static_cast<int>(buttons.size()) - 1;
    state.closeAnswer = kind == BoxKind::Confirm ? -1 : last;

    // The box speaks the program's language, in the face the forms use for it.
    const bool english = texts::CurrentLanguage() == texts::Language::English;
    HFONT font = CreateFontA(-kTextPx, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             english ? DEFAULT_CHARSET : SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             DefaultFace(texts::CurrentLanguage()));
    const UINT textFormat = DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS;
    const SIZE textSize = MeasureText(font, text.empty() ? " " : text, textFormat);
    std::vector<int> widths;
    int rowWidth = 0;
    for (const std::string& b : buttons) {
        SIZE s = MeasureText(font, b, DT_SINGLELINE);
        widths.push_back(std::max(kButtonMinWidth, static_cast<int>(s.cx) + 24));
        rowWidth += widths.back();
    }
    rowWidth += kButtonGap * std::max(last, 0);

    const LPCSTR iconId = IconOf(kind);
    const int textLeft = kMargin + (iconId ? kIconSize + kMargin : 0);
    const int bodyHeight = std::max(static_cast<int>(textSize.cy), iconId ? kIconSize : 0);
    const int clientW =
        std::max({textLeft + static_cast<int>(textSize.cx) + kMargin, rowWidth + 2 * kMargin, 160});
    const int clientH = kMargin + bodyHeight + kMargin + kButtonHeight + kMargin;

    // A question has no close command at all, as the system's yes/no box.
    DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    if (kind != BoxKind::Confirm) style |= WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    RECT frame{0, 0, clientW, clientH};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    RECT area{};
    if (owner && IsWindowVisible(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    const int x = std::max(0, static_cast<int>(area.left + area.right - w) / 2);
    const int y = std::max(0, static_cast<int>(area.top + area.bottom - h) / 2);

    HWND box = CreateWindowExA(exStyle, kBoxClass, caption.c_str(), style, x, y, w, h, owner,
                               nullptr, instance, &state);
    if (!box) {
        DeleteObject(font);
        return kind == BoxKind::Confirm ? last : 0;
    }
    if (iconId) {
        HWND icon = CreateWindowExA(0, "STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, kMargin,
                                    kMargin, kIconSize, kIconSize, box, nullptr, instance, nullptr);
        SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, iconId)), 0);
    }
    HWND body =
        CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                        textLeft, kMargin + (bodyHeight - textSize.cy) / 2, textSize.cx,
                        textSize.cy, box, nullptr, instance, nullptr);
    SendMessageA(body, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    int bx = (clientW - rowWidth) / 2;
    HWND first = nullptr;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        DWORD bs = WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                   (i == 0 ? BS_DEFPUSHBUTTON | WS_GROUP : BS_PUSHBUTTON);
        HWND b = CreateWindowExA(0, "BUTTON", buttons[i].c_str(), bs, bx,
                                 clientH - kMargin - kButtonHeight, widths[i], kButtonHeight, box,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)),
                                 instance, nullptr);
        SendMessageA(b, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (!first) first = b;
        bx += widths[i] + kButtonGap;
    }

    // The box is modal to every window of the program.
    std::vector<HWND> disabled;
    for (HWND wnd : disable) {
        if (wnd != box && IsWindowEnabled(wnd)) {
            EnableWindow(wnd, FALSE);
            disabled.push_back(wnd);
        }
    }
    ShowWindow(box, SW_SHOW);
    SetForegroundWindow(box);
    if (first) SetFocus(first);
    MessageBeep(SoundOf(kind));

    bool quit = false;
    WPARAM quitCode = 0;
    while (state.answer < 0) {
        MSG m;
        if (GetMessageA(&m, nullptr, 0, 0) <= 0) {
            quit = true;
            quitCode = m.wParam;
            state.answer = last < 0 ? 0 : last;
            break;
        }
        if (!IsDialogMessageA(box, &m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    // Enabled again before the box goes, so that activation returns to them.
    for (HWND wnd : disabled) EnableWindow(wnd, TRUE);
    DestroyWindow(box);
    DeleteObject(font);
    if (owner && IsWindowVisible(owner)) SetActiveWindow(owner);
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return state.answer;
}

}  // namespace sabrel::ui::win32
