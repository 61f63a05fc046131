// SPDX-License-Identifier: MIT
// One form's top-level window and native controls, built from the form's
// declaration and kept in step with its portable controls.
//
// Containers: a notebook, its pages and the tab sheets are panels (child
// windows of their own, shown and hidden as pages); a group box is a frame
// whose controls are its siblings, placed relative to it. Every child clips
// its siblings, and a control declared after a sibling that it overlaps is
// put above that sibling, so the later declaration is the one seen. Among
// the controls with a declared tab order, the keyboard (which follows the
// stacking order) meets them in that order.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/win32/windows_api.h"

namespace sabrel::ui::win32 {

class Win32Ui;

class FormWindow : public FormWindowBase {
  public:
    FormWindow(Win32Ui& ui, Form& form, HWND owner);
    ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    HWND Hwnd() const { return hwnd_; }

    // A window that appears is centred on the work area when the form asks
    // for it.
    void SyncVisible() override;
    void SyncCaption() override;
    void SyncColor() override;
    void ControlChanged(Control& control, Change what);
    // The keys that move the focus and switch tab pages, as a Windows 98
    // dialog takes them: Tab and Shift+Tab through the controls, the tab
    // strip among them; Ctrl+Tab and Ctrl+Shift+Tab through the pages. True
    // when `msg` was one of them and has been acted on.
    bool NavigationKey(const MSG& msg);

    // The window class of a form's window ("T" + the form's name).
    static std::string ClassOf(const Form& form);

  private:
    struct Item {
        Control* control = nullptr;
        HWND hwnd = nullptr;
        HFONT font = nullptr;
        // The background of the container the control stands on.
        bool onSheet = false;
    };
    struct Origin {
        HWND parent;
        int x, y;
        bool sheet;
    };

    void Build(Control& control, int index);
    void RaiseAboveOverlapped(HWND hwnd);
    void OrderByTabOrder();
    void LayoutSheets();
    void Sync(Control& control, Change what);
    void SyncAll(Control& control);
    void SyncTree();
    std::vector<HWND> TabStops() const;
    void CollectTabStops(HWND parent, std::vector<HWND>* out) const;
    HWND FirstTabStop() const;
    void KeepFocusVisible();
    void FitLabel(Item& item);
    void FitColumns(Item& item);
    HBITMAP BitmapOf(const std::string& resource);
    HFONT FontOf(const FontDecl& font);
    HBRUSH BrushOf(COLORREF color);
    COLORREF FormColor() const;
    Item* ItemOf(HWND hwnd);
    Item* ItemOf(const Control& control);
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool* handled);
    LRESULT ColorMessage(HDC dc, HWND child);
    void Command(HWND child, int code);
    static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static void RegisterClasses(HINSTANCE instance, const std::string& formClass);

    Win32Ui& ui_;
    Form& form_;
    HWND hwnd_ = nullptr;
    std::vector<Item> items_;  // by the control's index in the form
    std::map<HWND, std::size_t> byHwnd_;
    std::map<const Control*, Origin> origins_;
    std::map<std::string, HBITMAP> bitmaps_;
    std::map<std::string, HFONT> fonts_;
    std::map<COLORREF, HBRUSH> brushes_;
    std::vector<UINT_PTR> timerIds_;
    // The control that had the focus when the window was last deactivated.
    HWND focus_ = nullptr;
    bool placed_ = false;
};

}  // namespace sabrel::ui::win32
