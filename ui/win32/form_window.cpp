// SPDX-License-Identifier: MIT
#include "ui/win32/form_window.h"

#include <algorithm>

#include "art/artwork.h"
#include "ui/ui.h"
#include "ui/win32/form_window_detail.h"
#include "ui/win32/win32_ui.h"

namespace sabrel::ui::win32 {

namespace {

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char ch) { return (ch & 0x80) == 0; });
}

DWORD LabelAlignment(Align a) {
    switch (a) {
        case Align::Center:
            return SS_CENTER;
        case Align::Right:
            return SS_RIGHT;
        case Align::Left:
            break;
    }
    return SS_LEFT;
}

// The program's icon: the second animation frame at 32 x 32, opaque. Made
// once and kept for the life of the process, as a resource icon would be.
HICON ProgramIcon() {
    static HICON icon = [] {
        constexpr int kIcon = 32;
        const art::Image image = art::AnimationFrame(1);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = kIcon;
        info.bmiHeader.biHeight = kIcon;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC screen = GetDC(nullptr);
        HBITMAP color = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ReleaseDC(nullptr, screen);
        if (!color || !bits) return HICON{};
        auto* out = static_cast<std::uint8_t*>(bits);
        const int scale = art::kSize / kIcon;
        for (int y = 0; y < kIcon; ++y) {
            for (int x = 0; x < kIcon; ++x) {
                const std::size_t from =
                    (static_cast<std::size_t>(kIcon - 1 - y) * scale * art::kSize + x * scale) * 3;
                std::uint8_t* to = out + (static_cast<std::size_t>(y) * kIcon + x) * 3;
                to[0] = image[from + 2];
                to[1] = image[from + 1];
                to[2] = image[from];
            }
        }
        // An all-zero mask: every pixel is the colour bitmap's.
        const std::vector<std::uint8_t> zeros(kIcon * kIcon / 8, 0);
        HBITMAP mask = CreateBitmap(kIcon, kIcon, 1, 1, zeros.data());
        ICONINFO ii{};
        ii.fIcon = TRUE;
        ii.hbmMask = mask;
        ii.hbmColor = color;
        HICON made = CreateIconIndirect(&ii);
        DeleteObject(mask);
        DeleteObject(color);
        return made;
    }();
    return icon;
}

}  // namespace

std::string FormWindow::ClassOf(const Form& form) {
    return "T" + form.Name();
}

void FormWindow::RegisterClasses(HINSTANCE instance, const std::string& formClass) {
    WNDCLASSA wc{};
    if (!GetClassInfoA(instance, formClass.c_str(), &wc)) {
        wc = WNDCLASSA{};
        wc.lpfnWndProc = FormProc;
        wc.hInstance = instance;
        wc.hIcon = ProgramIcon();
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = formClass.c_str();
        RegisterClassA(&wc);
    }
    if (!GetClassInfoA(instance, kPanelClass, &wc)) {
        wc = WNDCLASSA{};
        wc.lpfnWndProc = PanelProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = kPanelClass;
        RegisterClassA(&wc);
    }
}

FormWindow::FormWindow(Win32Ui& ui, Form& form, HWND owner) : ui_(ui), form_(form) {
    const FormDecl& decl = form.Decl();
    const std::string cls = ClassOf(form);
    RegisterClasses(ui.Instance(), cls);

    // No title-bar buttons unless declared: without a system menu there is no
    // minimise, maximise or close box either.
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
    if (decl.titleButtons) style |= WS_SYSMENU | WS_MINIMIZEBOX;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (decl.border == BorderStyle::Dialog) exStyle |= WS_EX_DLGMODALFRAME;
    if (!owner) exStyle |= WS_EX_APPWINDOW;
    RECT frame{0, 0, decl.clientWidth, decl.clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    hwnd_ = CreateWindowExA(exStyle, cls.c_str(), form.Caption().c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                            owner, nullptr, ui.Instance(), this);

    items_.resize(form.Controls().size());
    for (std::size_t i = 0; i < form.Controls().size(); ++i) {
        Build(*form.Controls()[i], static_cast<int>(i));
    }
    LayoutSheets();
    OrderByTabOrder();
    for (const auto& control : form.Controls()) SyncAll(*control);
    SyncTree();
}

FormWindow::~FormWindow() {
    for (UINT_PTR id : timerIds_) KillTimer(hwnd_, id);
    if (hwnd_) {
        SetWindowLongA(hwnd_, GWL_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (auto& [name, bitmap] : bitmaps_) DeleteObject(bitmap);
    for (auto& [key, font] : fonts_) DeleteObject(font);
    for (auto& [color, brush] : brushes_) DeleteObject(brush);
}

FormWindow::Item* FormWindow::ItemOf(HWND hwnd) {
    auto it = byHwnd_.find(hwnd);
    return it == byHwnd_.end() ? nullptr : &items_[it->second];
}

FormWindow::Item* FormWindow::ItemOf(const Control& control) {
    for (Item& item : items_) {
        if (item.control == &control) return &item;
    }
    return nullptr;
}

HFONT FormWindow::FontOf(const FontDecl& f) {
    const FontDecl& base = form_.Decl().font;
    std::string face = !f.face.empty()      ? f.face
                       : !base.face.empty() ? base.face
                                            : DefaultFace(texts::CurrentLanguage());
    const int size = f.sizePx > 0 ? f.sizePx : base.sizePx > 0 ? base.sizePx : kDefaultFontPx;
    const bool bold = f.bold || base.bold;
    const bool italic = f.italic || base.italic;
    const std::string key =
        face + "|" + std::to_string(size) + (bold ? "b" : "") + (italic ? "i" : "");
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    // Sizes are character heights in pixels, hence the negative height.
    HFONT font = CreateFontA(-size, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE,
                             IsAscii(face) ? DEFAULT_CHARSET : SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             face.c_str());
    fonts_[key] = font;
    return font;
}

HBRUSH FormWindow::BrushOf(COLORREF color) {
    auto it = brushes_.find(color);
    if (it != brushes_.end()) return it->second;
    HBRUSH brush = CreateSolidBrush(color);
    brushes_[color] = brush;
    return brush;
}

COLORREF FormWindow::FormColor() const {
    Color c = form_.BackColor();
    return c == kColorDefault ? GetSysColor(COLOR_BTNFACE) : ToColorRef(c);
}

HBITMAP FormWindow::BitmapOf(const std::string& resource) {
    if (resource.empty()) return nullptr;
    auto it = bitmaps_.find(resource);
    if (it != bitmaps_.end()) return it->second;
    art::Image image{};
    if (!art::FindPicture(resource, &image)) return nullptr;
    // A bottom-up 24-bit DIB: rows of 64 * 3 bytes need no padding.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = art::kSize;
    info.bmiHeader.biHeight = art::kSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!bitmap || !bits) return nullptr;
    auto* out = static_cast<std::uint8_t*>(bits);
    const std::size_t row = std::size_t{art::kSize} * 3;
    for (int y = 0; y < art::kSize; ++y) {
        const std::uint8_t* src = image.data() + row * static_cast<std::size_t>(art::kSize - 1 - y);
        std::uint8_t* dst = out + row * static_cast<std::size_t>(y);
        for (int x = 0; x < art::kSize; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    GdiFlush();
    bitmaps_[resource] = bitmap;
    return bitmap;
}

void FormWindow::Build(Control& control, int index) {
    const ControlDecl& d = control.Decl();
    Item& item = items_[static_cast<std::size_t>(index)];
    item.control = &control;
    Origin at{hwnd_, 0, 0, false};
    if (control.Parent()) {
        auto it = origins_.find(control.Parent());
        if (it == origins_.end()) return;  // a parent that draws nothing
        at = it->second;
    }
    item.onSheet = at.sheet;
    const int x = at.x + d.left, y = at.y + d.top;
    const int w = std::max(d.width, 1), h = std::max(d.height, 1);
    HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + index));
    HINSTANCE inst = ui_.Instance();
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (d.tabStop) style |= WS_TABSTOP;
    // Radio buttons of one container form one group for the arrow keys.
    const auto& all = form_.Controls();
    const bool continuesRadios =
        d.kind == ControlKind::RadioButton && index > 0 &&
        all[static_cast<std::size_t>(index - 1)]->Kind() == ControlKind::RadioButton &&
        all[static_cast<std::size_t>(index - 1)]->Parent() == control.Parent();
    if (!continuesRadios) style |= WS_GROUP;
    const char* caption = control.Caption().c_str();
    HWND hw = nullptr;

    switch (d.kind) {
        case ControlKind::Label:
            hw = CreateWindowExA(
                0, "STATIC", caption,
                (style & ~WS_TABSTOP) | SS_NOPREFIX | SS_NOTIFY | LabelAlignment(d.alignment), x, y,
                w, h, at.parent, id, inst, nullptr);
            break;
        case ControlKind::Button:
            hw = CreateWindowExA(0, "BUTTON", caption, style | BS_PUSHBUTTON, x, y, w, h, at.parent,
                                 id, inst, nullptr);
            break;
        case ControlKind::CheckBox:
            // Not automatic: the portable control decides the mark.
            hw = CreateWindowExA(0, "BUTTON", caption, style | BS_CHECKBOX, x, y, w, h, at.parent,
                                 id, inst, nullptr);
            break;
        case ControlKind::RadioButton:
            hw = CreateWindowExA(0, "BUTTON", caption, style | BS_RADIOBUTTON, x, y, w, h,
                                 at.parent, id, inst, nullptr);
            break;
        case ControlKind::GroupBox:
            hw = CreateWindowExA(0, "BUTTON", caption, (style & ~WS_TABSTOP) | BS_GROUPBOX, x, y, w,
                                 h, at.parent, id, inst, nullptr);
            origins_[&control] = {at.parent, x, y, at.sheet};
            // A group box leaves its inside to its parent to paint, so the
            // parent must not clip it away.
            SetWindowLongA(
                at.parent, GWL_STYLE,
                GetWindowLongA(at.parent, GWL_STYLE) & ~static_cast<LONG>(WS_CLIPCHILDREN));
            break;
        case ControlKind::ListBox:
            hw = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", nullptr,
                                 style | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                                     (d.multiSelect ? LBS_MULTIPLESEL : 0),
                                 x, y, w, h, at.parent, id, inst, nullptr);
            break;
        case ControlKind::PageControl:
            // A tab stop of its own: the keyboard reaches the strip itself,
            // and NavigationKey goes on into the page in front.
            hw =
                CreateWindowExA(0, WC_TABCONTROLA, nullptr, style | WS_CLIPCHILDREN | TCS_MULTILINE,
                                x, y, w, h, at.parent, id, inst, nullptr);
            origins_[&control] = {hw, 0, 0, true};
            break;
        case ControlKind::TabSheet: {
            TCITEMA tab{};
            tab.mask = TCIF_TEXT;
            tab.pszText = const_cast<char*>(caption);
            const int count = static_cast<int>(SendMessageA(at.parent, TCM_GETITEMCOUNT, 0, 0));
            SendMessageA(at.parent, TCM_INSERTITEMA, count, reinterpret_cast<LPARAM>(&tab));
            // Placed on the tab control's display area once every tab is in.
            hw = CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClass, nullptr,
                                 WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 1, 1,
                                 at.parent, id, inst, this);
            origins_[&control] = {hw, 0, 0, true};
            break;
        }
        case ControlKind::Notebook:
            hw = CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClass, nullptr,
                                 WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, x, y, w, h,
                                 at.parent, id, inst, this);
            origins_[&control] = {hw, 0, 0, at.sheet};
            break;
        case ControlKind::NotebookPage: {
            RECT r{};
            GetClientRect(at.parent, &r);
            hw = CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClass, nullptr,
                                 WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, r.right,
                                 r.bottom, at.parent, id, inst, this);
            origins_[&control] = {hw, 0, 0, at.sheet};
            break;
        }
        case ControlKind::Picture:
            hw = CreateWindowExA(0, "STATIC", nullptr, (style & ~WS_TABSTOP) | SS_BITMAP, x, y, w,
                                 h, at.parent, id, inst, nullptr);
            break;
        case ControlKind::ListView: {
            hw = CreateWindowExA(
                WS_EX_CLIENTEDGE, WC_LISTVIEWA, nullptr,
                style | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, x, y, w,
                h, at.parent, id, inst, nullptr);
            for (std::size_t i = 0; i < d.columns.size(); ++i) {
                const ColumnDecl& c = d.columns[i];
                LVCOLUMNA col{};
                col.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
                col.fmt = c.alignment == Align::Right    ? LVCFMT_RIGHT
                          : c.alignment == Align::Center ? LVCFMT_CENTER
                                                         : LVCFMT_LEFT;
                col.cx = c.width > 0 ? c.width : 60;
                col.pszText = const_cast<char*>(c.caption.c_str());
                col.iSubItem = static_cast<int>(i);
                SendMessageA(hw, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
            }
            break;
        }
        case ControlKind::Bevel:
            hw = CreateWindowExA(0, "STATIC", nullptr, (style & ~WS_TABSTOP) | SS_ETCHEDFRAME, x, y,
                                 w, h, at.parent, id, inst, nullptr);
            break;
        case ControlKind::Timer:
            timerIds_.push_back(kFirstTimerId + static_cast<UINT_PTR>(index));
            return;
        case ControlKind::ImageList:
        case ControlKind::LineBuffer:
            return;
    }
    if (!hw) return;
    item.hwnd = hw;
    byHwnd_[hw] = static_cast<std::size_t>(index);
    item.font = FontOf(d.font);
    SendMessageA(hw, WM_SETFONT, reinterpret_cast<WPARAM>(item.font), FALSE);
    if (d.kind == ControlKind::ListBox && d.itemHeight > 0) {
        SendMessageA(hw, LB_SETITEMHEIGHT, 0, d.itemHeight);
    }
    if (d.kind == ControlKind::Label) FitLabel(item);
    if (!IsPage(d.kind)) RaiseAboveOverlapped(hw);
}

LRESULT FormWindow::ColorMessage(HDC dc, HWND child) {
    Item* item = ItemOf(child);
    const COLORREF background = item && item->onSheet ? GetSysColor(COLOR_BTNFACE) : FormColor();
    COLORREF text = GetSysColor(COLOR_BTNTEXT);
    if (item && item->control->Decl().textColor != kColorDefault) {
        text = ToColorRef(item->control->Decl().textColor);
    }
    SetTextColor(dc, text);
    SetBkColor(dc, background);
    return reinterpret_cast<LRESULT>(BrushOf(background));
}

void FormWindow::Command(HWND child, int code) {
    Item* item = ItemOf(child);
    if (!item) return;
    Control& control = *item->control;
    switch (control.Kind()) {
        case ControlKind::Button:
            if (code == BN_CLICKED) form_.UserClick(control.Name());
            return;
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            if (code != BN_CLICKED) return;
            form_.UserClick(control.Name());
            // A refused click leaves the mark as it was.
            Sync(control, Change::Checked);
            return;
        case ControlKind::Label:
            if (code == STN_DBLCLK) form_.UserDoubleClick(control.Name());
            return;
        case ControlKind::ListBox: {
            if (code != LBN_SELCHANGE) return;
            const UINT which = control.Decl().multiSelect ? LB_GETCARETINDEX : LB_GETCURSEL;
            const LRESULT index = SendMessageA(child, which, 0, 0);
            if (index >= 0) form_.UserClickItem(control.Name(), static_cast<std::size_t>(index));
            // The list shows the marks the control holds, whatever the click did.
            Sync(control, Change::Marks);
            return;
        }
        default:
            return;
    }
}

LRESULT FormWindow::Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool* handled) {
    *handled = true;
    switch (msg) {
        case WM_COMMAND:
            if (lParam) {
                Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
            } else if (LOWORD(wParam) == IDOK) {
                // The return key outside a dialog: it presses the push button
                // that has the focus, if any.
                HWND f = GetFocus();
                Item* item = ItemOf(f);
                if (item && item->control->Kind() == ControlKind::Button) Command(f, BN_CLICKED);
            }
            return 0;
        case WM_NOTIFY: {
            const auto* n = reinterpret_cast<const NMHDR*>(lParam);
            Item* item = ItemOf(n->hwndFrom);
            if (item && n->code == static_cast<UINT>(TCN_SELCHANGE)) {
                const int index = static_cast<int>(SendMessageA(n->hwndFrom, TCM_GETCURSEL, 0, 0));
                form_.UserSelectPage(item->control->Name(), index);
                Sync(*item->control, Change::Page);
                return 0;
            }
            break;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return ColorMessage(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_ERASEBKGND: {
            Item* self = ItemOf(hwnd);
            const bool sheet =
                self && (self->onSheet || self->control->Kind() == ControlKind::TabSheet);
            RECT r{};
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r,
                     BrushOf(sheet ? GetSysColor(COLOR_BTNFACE) : FormColor()));
            return 1;
        }
        case WM_TIMER: {
            if (hwnd != hwnd_ || wParam < kFirstTimerId) break;
            const std::size_t index = wParam - kFirstTimerId;
            if (index >= items_.size() || ui_.QuitPosted()) return 0;
            form_.TimerTick(items_[index].control->Name());
            return 0;
        }
        case WM_ACTIVATE: {
            if (hwnd != hwnd_) break;
            // As a dialog does: the focus leaves with the window and comes
            // back to where it was, or to the first control in tab order.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND f = GetFocus();
                if (f && IsChild(hwnd_, f)) focus_ = f;
                return 0;
            }
            HWND target = focus_;
            if (!target || !IsWindow(target) || !IsWindowVisible(target) ||
                !IsWindowEnabled(target)) {
                target = FirstTabStop();
            }
            if (target) SetFocus(target);
            return 0;
        }
        case WM_CLOSE:
            // The form decides; a refused close changes nothing.
            if (hwnd == hwnd_) {
                form_.UserClose();
                return 0;
            }
            break;
        default:
            break;
    }
    *handled = false;
    return 0;
}

LRESULT CALLBACK FormWindow::FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* self = static_cast<FormWindow*>(cs->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongA(hwnd, GWL_USERDATA, reinterpret_cast<LONG>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongA(hwnd, GWL_USERDATA));
    if (self) {
        bool handled = false;
        LRESULT r = self->Handle(hwnd, msg, wParam, lParam, &handled);
        if (handled) return r;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK FormWindow::PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongA(hwnd, GWL_USERDATA, reinterpret_cast<LONG>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongA(hwnd, GWL_USERDATA));
    if (self && msg != WM_CLOSE && msg != WM_TIMER) {
        bool handled = false;
        LRESULT r = self->Handle(hwnd, msg, wParam, lParam, &handled);
        if (handled) return r;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace sabrel::ui::win32
