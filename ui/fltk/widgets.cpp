// SPDX-License-Identifier: MIT
#include "ui/fltk/widgets.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

namespace sabrel::ui::fltk {

int PushButton::handle(int event) {
    if (event == FL_KEYBOARD && Fl::focus() == this &&
        (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
        if (active_r()) do_callback();
        return 1;
    }
    return Fl_Button::handle(event);
}

int LabelBox::handle(int event) {
    if (event == FL_PUSH) {
        if (Fl::event_clicks() > 0 && onDoubleClick) {
            // Clear the count so that a third click does not count again.
            Fl::event_clicks(0);
            onDoubleClick();
        }
        return 1;
    }
    return Fl_Box::handle(event);
}

void GroupFrame::draw() {
    if (damage() & ~FL_DAMAGE_CHILD) {
        int top = y();
        if (label() && *label()) {
            fl_font(labelfont(), labelsize());
            top += fl_height() / 2;
        }
        fl_draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - (top - y()), color());
        if (label() && *label()) {
            fl_font(labelfont(), labelsize());
            int tw = static_cast<int>(fl_width(label())) + 4;
            fl_color(parent() ? parent()->color() : color());
            fl_rectf(x() + 8, y(), tw, fl_height());
            fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
            fl_draw(label(), x() + 10, y() + fl_height() - fl_descent());
        }
    }
    draw_children();
}

int ToggleList::handle(int event) {
    switch (event) {
        case FL_PUSH: {
            if (Fl::event_inside(&scrollbar) || Fl::event_inside(&hscrollbar)) break;
            if (Fl::visible_focus()) take_focus();
            void* item = find_item(Fl::event_y());
            if (item && onToggle) onToggle(lineno(item) - 1);
            return 1;
        }
        case FL_DRAG:
        case FL_RELEASE:
            if (Fl::event_inside(&scrollbar) || Fl::event_inside(&hscrollbar)) break;
            return 1;
        case FL_KEYBOARD: {
            const int key = Fl::event_key();
            // No range selection: shift with a moving key does nothing.
            const bool moving = key == FL_Up || key == FL_Down || key == FL_Page_Up ||
                                key == FL_Page_Down || key == FL_Home || key == FL_End;
            if (moving && (Fl::event_state() & (FL_SHIFT | FL_CTRL))) return 1;
            int used = Fl_Browser::handle(event);
            // FLTK may have toggled an item (space); report it to the control,
            // whose answer then shows.
            if (onToggle && isMarked) {
                for (int i = 0; i < size(); ++i) {
                    const bool shown = selected(i + 1) != 0;
                    // A single-selection list reports only the item chosen.
                    if (shown != isMarked(i) && (type() == FL_MULTI_BROWSER || shown)) {
                        onToggle(i);
                    }
                }
            }
            return used;
        }
        default:
            break;
    }
    return Fl_Browser::handle(event);
}

PageTabs::PageTabs(int x, int y, int w, int h, std::vector<std::string> titles, Fl_Font font,
                   int size)
    : Fl_Group(x, y, w, h), font_(font), size_(size) {
    end();
    box(FL_NO_BOX);
    for (std::string& t : titles) tabs_.push_back({std::move(t)});
    Layout();
}

void PageTabs::Layout() {
    fl_font(font_, size_);
    rowHeight_ = fl_height() + 6;
    int row = 0, left = 0;
    for (Tab& t : tabs_) {
        t.width = static_cast<int>(fl_width(t.title.c_str())) + 12;
        if (left > 0 && left + t.width > w() - 4) {
            ++row;
            left = 0;
        }
        t.row = row;
        t.left = left;
        left += t.width;
    }
    rows_ = row + 1;
}

void PageTabs::TabRect(int index, int* tx, int* ty, int* tw, int* th) const {
    const Tab& t = tabs_.at(static_cast<std::size_t>(index));
    *tx = x() + 2 + t.left;
    *ty = y() + t.row * rowHeight_;
    *tw = t.width;
    *th = rowHeight_;
}

void PageTabs::Value(int index) {
    if (index < 0 || index >= children()) return;
    value_ = index;
    for (int i = 0; i < children(); ++i) {
        i == index ? child(i)->show() : child(i)->hide();
    }
    redraw();
}

void PageTabs::SetTitle(int index, std::string title) {
    if (index < 0 || static_cast<std::size_t>(index) >= tabs_.size()) return;
    tabs_[static_cast<std::size_t>(index)].title = std::move(title);
    redraw();
}

int PageTabs::handle(int event) {
    switch (event) {
        // The strip itself takes the focus (FLTK's groups pass it on to a
        // child), and the left and right arrows then move between its tabs.
        case FL_FOCUS:
        case FL_UNFOCUS:
            if (!Fl::visible_focus()) break;
            redraw();
            return 1;
        case FL_KEYBOARD: {
            if (Fl::focus() != this || tabs_.empty()) break;
            const int key = Fl::event_key();
            if (key != FL_Left && key != FL_Right) break;
            const int count = static_cast<int>(tabs_.size());
            const int next = key == FL_Left ? value_ - 1 : value_ + 1;
            if (next >= 0 && next < count) {
                Value(next);
                do_callback();
            }
            return 1;
        }
        default:
            break;
    }
    if (event == FL_PUSH && Fl::event_y() < y() + TabAreaHeight()) {
        for (std::size_t i = 0; i < tabs_.size(); ++i) {
            int tx, ty, tw, th;
            TabRect(static_cast<int>(i), &tx, &ty, &tw, &th);
            if (Fl::event_inside(tx, ty, tw, th)) {
                if (static_cast<int>(i) != value_) {
                    Value(static_cast<int>(i));
                    do_callback();
                }
                return 1;
            }
        }
        return 1;
    }
    return Fl_Group::handle(event);
}

void PageTabs::draw() {
    const Fl_Color back = parent() ? parent()->color() : color();
    const int top = y() + TabAreaHeight();
    if (damage() & ~FL_DAMAGE_CHILD) {
        fl_color(back);
        fl_rectf(x(), y(), w(), TabAreaHeight());
        fl_draw_box(FL_THIN_UP_BOX, x(), top, w(), h() - TabAreaHeight(), color());
        fl_font(font_, size_);
        for (std::size_t i = 0; i < tabs_.size(); ++i) {
            int tx, ty, tw, th;
            TabRect(static_cast<int>(i), &tx, &ty, &tw, &th);
            const bool front = static_cast<int>(i) == value_;
            if (front && tabs_[i].row == rows_ - 1) {
                // The tab in front joins its sheet: no line under it.
                fl_draw_box(FL_THIN_UP_BOX, tx - 2, ty, tw + 4, th + 2, color());
                fl_color(color());
                fl_rectf(tx - 1, ty + th - 1, tw + 2, 3);
            } else if (front) {
                // A tab in front in an upper row is raised and underlined.
                fl_draw_box(FL_THIN_UP_BOX, tx - 2, ty, tw + 4, th, color());
                fl_color(FL_SELECTION_COLOR);
                fl_rectf(tx + 4, ty + th - 4, tw - 8, 2);
            } else {
                fl_draw_box(FL_THIN_UP_BOX, tx, ty + 2, tw, th - 2, color());
            }
            fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
            fl_draw(tabs_[i].title.c_str(), tx, ty + (front ? 0 : 1), tw, th, FL_ALIGN_CENTER,
                    nullptr, 0);
            if (front && Fl::focus() == this) draw_focus(FL_NO_BOX, tx + 2, ty + 3, tw - 4, th - 5);
        }
    }
    if (value_ >= 0 && value_ < children()) {
        Fl_Widget* sheet = child(value_);
        if (damage() & ~FL_DAMAGE_CHILD) {
            draw_child(*sheet);
        } else {
            update_child(*sheet);
        }
    }
}

void PictureBox::SetResource(const std::string& name) {
    resource_ = name;
    image(nullptr);
    image_.reset();
    if (!name.empty() && art::FindPicture(name, &pixels_)) {
        image_ = std::make_unique<Fl_RGB_Image>(pixels_.data(), art::kSize, art::kSize, 3);
        image(image_.get());
    }
    redraw();
}

ReportTable::ReportTable(int x, int y, int w, int h, std::vector<Column> columns, Fl_Font font,
                         int size)
    : Fl_Table(x, y, w, h), columns_(std::move(columns)), font_(font), size_(size) {
    end();
    box(FL_DOWN_FRAME);
    color(FL_WHITE);
    col_header(1);
    row_header(0);
    col_resize(0);
    row_height_all(size_ + 6);
    col_header_height(size_ + 8);
    cols(static_cast<int>(columns_.size()));
    rows(0);
    FitColumns();
}

void ReportTable::SetRows(std::vector<std::vector<std::string>> rows) {
    rows_ = std::move(rows);
    this->rows(static_cast<int>(rows_.size()));
    row_height_all(size_ + 6);
    FitColumns();
    redraw();
}

void ReportTable::FitColumns() {
    fl_font(font_, size_);
    widths_.assign(columns_.size(), 0);
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (columns_[c].width > 0) {
            widths_[c] = columns_[c].width;
        } else {
            double widest = fl_width(columns_[c].caption.c_str());
            for (const auto& row : rows_) {
                if (c < row.size()) widest = std::max(widest, fl_width(row[c].c_str()));
            }
            widths_[c] = static_cast<int>(widest) + 10;
        }
        col_width(static_cast<int>(c), widths_[c]);
    }
}

void ReportTable::draw_cell(TableContext context, int row, int col, int x, int y, int w, int h) {
    switch (context) {
        case CONTEXT_STARTPAGE:
            fl_font(font_, size_);
            return;
        case CONTEXT_COL_HEADER: {
            fl_push_clip(x, y, w, h);
            fl_draw_box(FL_THIN_UP_BOX, x, y, w, h, FL_BACKGROUND_COLOR);
            fl_color(FL_BLACK);
            fl_font(font_, size_);
            fl_draw(columns_[static_cast<std::size_t>(col)].caption.c_str(), x + 5, y, w - 10, h,
                    FL_ALIGN_LEFT, nullptr, 0);
            fl_pop_clip();
            return;
        }
        case CONTEXT_CELL: {
            fl_push_clip(x, y, w, h);
            fl_color(FL_WHITE);
            fl_rectf(x, y, w, h);
            const auto& cells = rows_[static_cast<std::size_t>(row)];
            if (static_cast<std::size_t>(col) < cells.size()) {
                Fl_Align align = FL_ALIGN_LEFT;
                switch (columns_[static_cast<std::size_t>(col)].alignment) {
                    case Align::Right:
                        align = FL_ALIGN_RIGHT;
                        break;
                    case Align::Center:
                        align = FL_ALIGN_CENTER;
                        break;
                    case Align::Left:
                        break;
                }
                fl_color(FL_BLACK);
                fl_font(font_, size_);
                fl_draw(cells[static_cast<std::size_t>(col)].c_str(), x + 5, y, w - 10, h, align,
                        nullptr, 0);
            }
            fl_pop_clip();
            return;
        }
        default:
            return;
    }
}

}  // namespace sabrel::ui::fltk
