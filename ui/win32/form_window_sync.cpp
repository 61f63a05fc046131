// SPDX-License-Identifier: MIT
// The form window's layout, keyboard navigation and the mirroring of control
// state into the native windows.
#include <algorithm>
#include <vector>

#include "ui/ui.h"
#include "ui/win32/form_window.h"
#include "ui/win32/form_window_detail.h"
#include "ui/win32/win32_ui.h"

namespace sabrel::ui::win32 {

void FormWindow::RaiseAboveOverlapped(HWND hwnd) {
    RECT mine{};
    GetWindowRect(hwnd, &mine);
    HWND parent = GetParent(hwnd);
    for (HWND s = GetWindow(parent, GW_CHILD); s && s != hwnd; s = GetWindow(s, GW_HWNDNEXT)) {
        RECT theirs{}, common{};
        GetWindowRect(s, &theirs);
        if (!IntersectRect(&common, &mine, &theirs)) continue;
        HWND above = GetWindow(s, GW_HWNDPREV);
        SetWindowPos(hwnd, above ? above : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return;
    }
}

void FormWindow::OrderByTabOrder() {
    std::map<HWND, std::vector<const Item*>> byParent;
    for (const Item& item : items_) {
        if (item.hwnd && item.control->Decl().tabOrder >= 0) {
            byParent[GetParent(item.hwnd)].push_back(&item);
        }
    }
    for (auto& [parent, ordered] : byParent) {
        std::vector<HWND> stack;
        for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            stack.push_back(c);
        }
        // The places these controls hold in the stack, filled again in tab order.
        std::vector<std::size_t> places;
        for (const Item* item : ordered) {
            places.push_back(static_cast<std::size_t>(
                std::find(stack.begin(), stack.end(), item->hwnd) - stack.begin()));
        }
        std::sort(places.begin(), places.end());
        std::stable_sort(ordered.begin(), ordered.end(), [](const Item* a, const Item* b) {
            return a->control->Decl().tabOrder < b->control->Decl().tabOrder;
        });
        bool changed = false;
        for (std::size_t i = 0; i < places.size(); ++i) {
            if (places[i] >= stack.size()) continue;
            changed = changed || stack[places[i]] != ordered[i]->hwnd;
            stack[places[i]] = ordered[i]->hwnd;
        }
        if (!changed) continue;
        HWND after = HWND_TOP;
        for (HWND c : stack) {
            SetWindowPos(c, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = c;
        }
    }
}

void FormWindow::LayoutSheets() {
    for (Item& item : items_) {
        if (!item.hwnd || item.control->Kind() != ControlKind::TabSheet) continue;
        HWND tabs = GetParent(item.hwnd);
        RECT r{};
        GetClientRect(tabs, &r);
        SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
        MoveWindow(item.hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
    }
}

void FormWindow::FitLabel(Item& item) {
    const ControlDecl& d = item.control->Decl();
    if (!d.autoSize && d.width > 0 && d.height > 0) return;
    const std::string& text = item.control->Caption();
    HDC dc = GetDC(item.hwnd);
    HGDIOBJ old = SelectObject(dc, item.font);
    SIZE s{0, 0};
    GetTextExtentPoint32A(dc, text.empty() ? " " : text.c_str(),
                          text.empty() ? 1 : static_cast<int>(text.size()), &s);
    SelectObject(dc, old);
    ReleaseDC(item.hwnd, dc);
    const int w = d.autoSize || d.width <= 0 ? std::max<int>(s.cx, 1) : d.width;
    const int h = d.autoSize || d.height <= 0 ? std::max<int>(s.cy, 1) : d.height;
    SetWindowPos(item.hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::FitColumns(Item& item) {
    const ControlDecl& d = item.control->Decl();
    for (std::size_t i = 0; i < d.columns.size(); ++i) {
        if (d.columns[i].width > 0) continue;
        auto widthOf = [&](const std::string& s) {
            return static_cast<int>(SendMessageA(item.hwnd, LVM_GETSTRINGWIDTHA, 0,
                                                 reinterpret_cast<LPARAM>(s.c_str())));
        };
        int width = widthOf(d.columns[i].caption);
        for (const auto& row : item.control->Rows()) {
            if (i < row.size()) width = std::max(width, widthOf(row[i]));
        }
        SendMessageA(item.hwnd, LVM_SETCOLUMNWIDTH, i, width + kColumnPadding);
    }
}

void FormWindow::SyncAll(Control& control) {
    for (Change what : {Change::Caption, Change::Checked, Change::Items, Change::Page,
                        Change::Image, Change::Rows, Change::Timer}) {
        Sync(control, what);
    }
}

void FormWindow::SyncTree() {
    for (Item& item : items_) {
        if (!item.hwnd) continue;
        const bool visible = NativeVisible(*item.control);
        if (visible != ((GetWindowLongA(item.hwnd, GWL_STYLE) & WS_VISIBLE) != 0)) {
            ShowWindow(item.hwnd, visible ? SW_SHOWNA : SW_HIDE);
        }
        const bool enabled = NativeEnabled(*item.control);
        if (enabled != (IsWindowEnabled(item.hwnd) != 0)) EnableWindow(item.hwnd, enabled);
    }
    KeepFocusVisible();
}

// A hidden or disabled control keeps the focus that it had (Windows does not
// move it), and the return key would then press a button the user cannot
// see. As a dialog does on a page change, the focus goes to the first
// control in tab order instead; with none, to the window itself until one
// appears.
void FormWindow::KeepFocusVisible() {
    HWND f = GetFocus();
    if (!f || (f != hwnd_ && !IsChild(hwnd_, f))) return;
    if (f != hwnd_ && IsWindowVisible(f) && IsWindowEnabled(f)) return;
    HWND first = FirstTabStop();
    if (first || f != hwnd_) SetFocus(first ? first : hwnd_);
}

void FormWindow::CollectTabStops(HWND parent, std::vector<HWND>* out) const {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongA(c, GWL_STYLE);
        if (!(style & WS_VISIBLE) || (style & WS_DISABLED)) continue;
        if (style & WS_TABSTOP) out->push_back(c);
        auto it = byHwnd_.find(c);
        const bool strip =
            it != byHwnd_.end() && items_[it->second].control->Kind() == ControlKind::PageControl;
        if (strip || (GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_CONTROLPARENT)) {
            CollectTabStops(c, out);
        }
    }
}

// The controls that Tab visits, in order: depth first in stacking order,
// into panels and pages, and a tab strip followed by the page in front.
std::vector<HWND> FormWindow::TabStops() const {
    std::vector<HWND> stops;
    CollectTabStops(hwnd_, &stops);
    return stops;
}

HWND FormWindow::FirstTabStop() const {
    std::vector<HWND> stops = TabStops();
    return stops.empty() ? nullptr : stops.front();
}

bool FormWindow::NavigationKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) return false;
    if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
    const bool back = GetKeyState(VK_SHIFT) < 0;
    if (GetKeyState(VK_CONTROL) < 0) {
        // The page control in front, if the window has one.
        for (Item& item : items_) {
            if (!item.hwnd || item.control->Kind() != ControlKind::PageControl ||
                !IsWindowVisible(item.hwnd) || !IsWindowEnabled(item.hwnd)) {
                continue;
            }
            const int count = static_cast<int>(SendMessageA(item.hwnd, TCM_GETITEMCOUNT, 0, 0));
            if (count <= 0) return true;
            int index = static_cast<int>(SendMessageA(item.hwnd, TCM_GETCURSEL, 0, 0));
            index = (index + (back ? count - 1 : 1)) % count;
            // Focus on the page that goes stays with the strip.
            if (IsChild(item.hwnd, GetFocus())) SetFocus(item.hwnd);
            SendMessageA(item.hwnd, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
            form_.UserSelectPage(item.control->Name(), index);
            Sync(*item.control, Change::Page);
            return true;
        }
        return false;
    }
    std::vector<HWND> stops = TabStops();
    if (stops.empty()) return true;
    HWND f = GetFocus();
    auto at = std::find(stops.begin(), stops.end(), f);
    std::size_t next = 0;
    if (at == stops.end()) {
        next = back ? stops.size() - 1 : 0;
    } else {
        const std::size_t i = static_cast<std::size_t>(at - stops.begin());
        next = back ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
    }
    SetFocus(stops[next]);
    return true;
}

void FormWindow::ControlChanged(Control& control, Change what) {
    Sync(control, what);
}

void FormWindow::Sync(Control& control, Change what) {
    Item* item = ItemOf(control);
    if (!item) return;
    const ControlKind kind = control.Kind();
    if (kind == ControlKind::Timer) {
        if (what != Change::Timer) return;
        const UINT_PTR id = kFirstTimerId + static_cast<UINT_PTR>(item - items_.data());
        // Starting it again re-arms it from a full interval.
        KillTimer(hwnd_, id);
        if (control.Enabled() && control.Decl().interval > 0) {
            SetTimer(hwnd_, id, static_cast<UINT>(control.Decl().interval), nullptr);
        }
        return;
    }
    HWND hw = item->hwnd;
    if (!hw) return;
    switch (what) {
        case Change::Caption:
            if (kind == ControlKind::Label || kind == ControlKind::Button ||
                kind == ControlKind::CheckBox || kind == ControlKind::RadioButton ||
                kind == ControlKind::GroupBox) {
                SetWindowTextA(hw, control.Caption().c_str());
                if (kind == ControlKind::Label) FitLabel(*item);
                InvalidateRect(hw, nullptr, TRUE);
            } else if (kind == ControlKind::TabSheet) {
                HWND tabs = GetParent(hw);
                std::vector<Control*> pages = control.Parent()->Pages();
                auto at = std::find(pages.begin(), pages.end(), &control);
                TCITEMA tab{};
                tab.mask = TCIF_TEXT;
                tab.pszText = const_cast<char*>(control.Caption().c_str());
                SendMessageA(tabs, TCM_SETITEMA, at - pages.begin(),
                             reinterpret_cast<LPARAM>(&tab));
            }
            return;
        case Change::Visible:
        case Change::Enabled:
            SyncTree();
            return;
        case Change::Checked:
            if (kind == ControlKind::CheckBox || kind == ControlKind::RadioButton) {
                SendMessageA(hw, BM_SETCHECK, control.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            return;
        case Change::Items:
            if (kind != ControlKind::ListBox) return;
            SendMessageA(hw, LB_RESETCONTENT, 0, 0);
            for (const std::string& text : control.Items()) {
                SendMessageA(hw, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            }
            Sync(control, Change::Marks);
            return;
        case Change::Marks:
            if (kind != ControlKind::ListBox) return;
            for (std::size_t i = 0; i < control.Count(); ++i) {
                if (control.Decl().multiSelect) {
                    SendMessageA(hw, LB_SETSEL, control.Marked(i), static_cast<LPARAM>(i));
                } else if (control.Marked(i)) {
                    SendMessageA(hw, LB_SETCURSEL, i, 0);
                }
            }
            return;
        case Change::Page:
            if (kind == ControlKind::PageControl) {
                SendMessageA(hw, TCM_SETCURSEL, static_cast<WPARAM>(control.PageIndex()), 0);
            }
            if (kind == ControlKind::PageControl || kind == ControlKind::Notebook) SyncTree();
            return;
        case Change::Image:
            if (kind != ControlKind::Picture) return;
            SendMessageA(hw, STM_SETIMAGE, IMAGE_BITMAP,
                         reinterpret_cast<LPARAM>(BitmapOf(control.Image())));
            // A new frame is shown at once, not at the next idle paint.
            InvalidateRect(hw, nullptr, TRUE);
            UpdateWindow(hw);
            return;
        case Change::Rows: {
            if (kind != ControlKind::ListView) return;
            SendMessageA(hw, WM_SETREDRAW, FALSE, 0);
            SendMessageA(hw, LVM_DELETEALLITEMS, 0, 0);
            int r = 0;
            for (const auto& row : control.Rows()) {
                for (std::size_t col = 0; col < row.size(); ++col) {
                    LVITEMA cell{};
                    cell.mask = LVIF_TEXT;
                    cell.iItem = r;
                    cell.iSubItem = static_cast<int>(col);
                    cell.pszText = const_cast<char*>(row[col].c_str());
                    SendMessageA(hw, col == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA,
                                 col == 0 ? 0 : static_cast<WPARAM>(r),
                                 reinterpret_cast<LPARAM>(&cell));
                }
                if (row.empty()) {
                    LVITEMA cell{};
                    cell.mask = LVIF_TEXT;
                    cell.iItem = r;
                    cell.pszText = const_cast<char*>("");
                    SendMessageA(hw, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&cell));
                }
                ++r;
            }
            FitColumns(*item);
            SendMessageA(hw, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(hw, nullptr, TRUE);
            return;
        }
        case Change::Color:
        case Change::Timer:
            return;
    }
}

void FormWindow::SyncCaption() {
    SetWindowTextA(hwnd_, form_.Caption().c_str());
}

void FormWindow::SyncColor() {
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void FormWindow::SyncVisible() {
    const bool shown = (GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
    if (form_.Visible() == shown) return;
    if (!form_.Visible()) {
        ShowWindow(hwnd_, SW_HIDE);
        return;
    }
    if (form_.Decl().centred) {
        RECT area{}, r{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        GetWindowRect(hwnd_, &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        SetWindowPos(hwnd_, nullptr, std::max(0, static_cast<int>(area.left + area.right - w) / 2),
                     std::max(0, static_cast<int>(area.top + area.bottom - h) / 2), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    UpdateWindow(hwnd_);
}

}  // namespace sabrel::ui::win32
