// SPDX-License-Identifier: MIT
// The FLTK widgets that stand in for controls FLTK has no exact match for.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Before the FLTK headers: some of them bring in X11's macros (None, Bool...),
// which would clash with names in these.
#include "art/artwork.h"
#include "ui/form_decl.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Table.H>

namespace sabrel::ui::fltk {

// A push button that Return presses while it has the focus, as on Windows
// (FLTK's own buttons take only the space bar).
class PushButton : public Fl_Button {
  public:
    PushButton(int x, int y, int w, int h) : Fl_Button(x, y, w, h) {}
    int handle(int event) override;
};

// A label: transparent static text that reports double-clicks.
class LabelBox : public Fl_Box {
  public:
    LabelBox(int x, int y, int w, int h) : Fl_Box(x, y, w, h) {}
    std::function<void()> onDoubleClick;
    int handle(int event) override;
};

// A group box: a lowered frame with its caption on the top edge.
class GroupFrame : public Fl_Group {
  public:
    GroupFrame(int x, int y, int w, int h) : Fl_Group(x, y, w, h) {}
    void draw() override;
};

// A list box in which a click toggles the mark of the item under the mouse and
// leaves the other marks alone (the multiple-selection list of Windows); the
// arrow keys move the caret and the space bar toggles the item under it. The
// marks shown are always those of the portable control: the widget only
// reports the item, and the control's answer selects or deselects it.
class ToggleList : public Fl_Browser {
  public:
    ToggleList(int x, int y, int w, int h) : Fl_Browser(x, y, w, h) {}
    std::function<void(int)> onToggle;  // 0-based item index
    std::function<bool(int)> isMarked;  // the control's mark of an item
    int handle(int event) override;
};

// A page control: tabs above a framed sheet. Tabs that do not fit in one row
// wrap into further rows (as a multi-line tab control does), so that every
// tab's title shows whole. Children are the sheets, one per tab, in order;
// only the sheet in front is shown. The strip itself takes the keyboard focus,
// drawn round the tab in front, and the left and right arrows turn pages.
class PageTabs : public Fl_Group {
  public:
    PageTabs(int x, int y, int w, int h, std::vector<std::string> titles, Fl_Font font, int size);
    // The height of the rows of tabs; the sheets start below it.
    int TabAreaHeight() const { return rowHeight_ * rows_; }
    int Value() const { return value_; }
    void Value(int index);
    void SetTitle(int index, std::string title);
    // Where tab `index` is drawn, in window coordinates (for tests and layout).
    void TabRect(int index, int* x, int* y, int* w, int* h) const;
    int handle(int event) override;
    void draw() override;

  private:
    struct Tab {
        std::string title;
        int row = 0, left = 0, width = 0;
    };
    void Layout();

    std::vector<Tab> tabs_;
    Fl_Font font_;
    int size_;
    int rowHeight_ = 0;
    int rows_ = 1;
    int value_ = 0;
};

// A picture: shows one of the program's images, or nothing.
class PictureBox : public Fl_Box {
  public:
    PictureBox(int x, int y, int w, int h) : Fl_Box(x, y, w, h) {}
    // An empty or unknown name shows nothing.
    void SetResource(const std::string& name);
    const std::string& Resource() const { return resource_; }

  private:
    std::string resource_;
    art::Image pixels_{};
    std::unique_ptr<Fl_RGB_Image> image_;
};

// A report-style list: a header row and rows of texts, each column aligned as
// declared. A column declared with width 0 is as wide as its widest text, the
// caption included, so that no figure is ever cut.
class ReportTable : public Fl_Table {
  public:
    struct Column {
        std::string caption;  // UTF-8
        Align alignment = Align::Left;
        int width = 0;
    };
    ReportTable(int x, int y, int w, int h, std::vector<Column> columns, Fl_Font font, int size);
    // Rows of UTF-8 texts; a row may have fewer texts than there are columns.
    void SetRows(std::vector<std::vector<std::string>> rows);
    int ColumnWidth(int column) const { return widths_.at(static_cast<std::size_t>(column)); }

  protected:
    void draw_cell(TableContext context, int row, int col, int x, int y, int w, int h) override;

  private:
    void FitColumns();

    std::vector<Column> columns_;
    std::vector<std::vector<std::string>> rows_;
    std::vector<int> widths_;
    Fl_Font font_;
    int size_;
};

}  // namespace sabrel::ui::fltk
