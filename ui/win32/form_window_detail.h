// SPDX-License-Identifier: MIT
// What the form window's source files share: control ids, timer ids and the
// rules for which native window shows and takes input. Internal to the win32
// backend.
#pragma once

#include "ui/form.h"
#include "ui/win32/form_window.h"

namespace sabrel::ui::win32 {

inline constexpr int kFirstControlId = 100;
inline constexpr UINT_PTR kFirstTimerId = 1000;
inline constexpr char kPanelClass[] = "SabrelPanel";
// Room that a list view column keeps around its widest text.
inline constexpr int kColumnPadding = 16;

inline COLORREF ToColorRef(Color c) {
    return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

inline bool IsPage(ControlKind kind) {
    return kind == ControlKind::TabSheet || kind == ControlKind::NotebookPage;
}

// Containers with a window of their own: hiding or disabling that window
// takes what it holds along.
inline bool HasOwnWindow(ControlKind kind) {
    return IsPage(kind) || kind == ControlKind::Notebook || kind == ControlKind::PageControl;
}

inline bool NativeVisible(const Control& c) {
    if (IsPage(c.Kind())) {
        const Control* book = c.Parent();
        return book && book->ActivePage() == &c;
    }
    for (const Control* n = &c; n; n = n->Parent()) {
        if (n != &c && HasOwnWindow(n->Kind())) break;
        if (!n->Visible()) return false;
    }
    return true;
}

inline bool NativeEnabled(const Control& c) {
    for (const Control* n = &c; n; n = n->Parent()) {
        if (n != &c && HasOwnWindow(n->Kind())) break;
        if (!n->Enabled()) return false;
    }
    return true;
}

}  // namespace sabrel::ui::win32
