// SPDX-License-Identifier: MIT
// Forms as data. Each form declares its window and its controls once, the way a
// resource script does: kind, name, parent, place, caption, font, colours,
// visibility, enablement, tab order and the few kind-specific settings. The
// declarations never change at run time; the live state is held by the
// portable objects of ui/form.h, and a backend builds its native widgets from
// the declaration and keeps them in step with that state.
//
// Conventions shared with every backend:
// - Texts (captions, items, column titles, font faces) are code page 932 bytes.
// - Places are pixels relative to the parent's client area (a tab sheet's or a
//   notebook page's inside, a group box's inside, or the form's client area);
//   the layout is never scaled to the screen's resolution.
// - A width or height of 0 with `autoSize` means "as large as the caption needs".
// - Controls are listed parents first; the list order is the creation order.
// - A font field left at its zero value takes the form's default font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/texts.h"

namespace sabrel::ui {

enum class ControlKind : std::uint8_t {
    Label,         // static text; transparent unless it has a background colour
    Button,        // push button
    CheckBox,      // check box with its caption to the right
    RadioButton,   // one of the radio buttons sharing the same parent
    GroupBox,      // framed container, optional caption
    ListBox,       // list of text items, each with a selection mark
    PageControl,   // tabbed pages; children are TabSheet controls, in tab order
    TabSheet,      // one tab of a PageControl; caption is the tab's title
    Notebook,      // pages without tabs, one shown at a time; children are NotebookPage
    NotebookPage,  // one page of a Notebook; its name is the page's name ("00"...)
    Picture,       // shows one image resource (or nothing)
    ImageList,     // never drawn; holds the names of a series of image resources
    ListView,      // report-style list with columns and rows of texts
    Bevel,         // framed, lowered rectangle
    Timer,         // never drawn; ticks every `interval` ms while enabled
    LineBuffer,    // never drawn; a list of text lines (a hidden memo)
};

enum class Align : std::uint8_t { Left, Center, Right };

// The result a modal form ends with; a button may carry one, and pressing it
// closes the modal form with that result after its handler has run.
enum class ModalResult : std::uint8_t { None, Ok, Cancel };

enum class BorderStyle : std::uint8_t {
    Single,  // single fixed border, not resizable
    Dialog,  // fixed dialog frame
};

// 0x00RRGGBB, or kColorDefault for "as the parent / the system draws it".
using Color = std::uint32_t;
inline constexpr Color kColorDefault = 0xFF000000u;
inline constexpr Color kBlack = 0x000000u;
inline constexpr Color kWhite = 0xFFFFFFu;
inline constexpr Color kNavy = 0x000080u;
inline constexpr Color kMaroon = 0x800000u;
inline constexpr Color kGreen = 0x008000u;
inline constexpr Color kOlive = 0x808000u;
inline constexpr Color kYellow = 0xFFFF00u;
inline constexpr Color kRed = 0xFF0000u;
inline constexpr Color kSilver = 0xC0C0C0u;
inline constexpr Color kAqua = 0x00FFFFu;
inline constexpr Color kBlue = 0x0000FFu;
inline constexpr Color kLime = 0x00FF00u;
inline constexpr Color kGray = 0x808080u;

struct FontDecl {
    std::string face;  // empty: the form's default face
    int sizePx = 0;    // character height in pixels; 0: the form's default size
    bool bold = false;
    bool italic = false;
};

struct ColumnDecl {
    std::string caption;
    Align alignment = Align::Left;
    int width = 0;  // 0: sized to fit the texts of the column's rows and caption
};

struct ControlDecl {
    ControlKind kind = ControlKind::Label;
    std::string name;
    std::string parent;  // empty: the form's client area
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::string caption;
    FontDecl font;
    Color textColor = kColorDefault;
    Color backColor = kColorDefault;
    bool visible = true;
    bool enabled = true;
    bool checked = false;  // check box / radio button at creation
    int tabOrder = -1;     // position among its parent's focusable controls; -1: by list order
    bool tabStop = true;
    Align alignment = Align::Left;
    bool autoSize = false;
    bool multiSelect = false;         // list box: a click toggles the item's mark
    int itemHeight = 0;               // list box: pixels per item; 0: from the font
    std::vector<std::string> items;   // list box: items at creation; image list: resource names
    std::vector<ColumnDecl> columns;  // list view
    int interval = 0;                 // timer: milliseconds
    std::string image;                // picture: resource name shown at creation; empty: none
    int imageWidth = 0;               // image list: size of each image
    int imageHeight = 0;
    ModalResult modalResult = ModalResult::None;  // button

    // Chainable refinements, so that a declaration reads as one line.
    ControlDecl& Size(int px) {
        font.sizePx = px;
        return *this;
    }
    ControlDecl& Bold() {
        font.bold = true;
        return *this;
    }
    ControlDecl& Italic() {
        font.italic = true;
        return *this;
    }
    ControlDecl& Face(std::string f) {
        font.face = std::move(f);
        return *this;
    }
    ControlDecl& Fg(Color c) {
        textColor = c;
        return *this;
    }
    ControlDecl& Bg(Color c) {
        backColor = c;
        return *this;
    }
    ControlDecl& Invisible() {
        visible = false;
        return *this;
    }
    ControlDecl& Disabled() {
        enabled = false;
        return *this;
    }
    ControlDecl& Checked() {
        checked = true;
        return *this;
    }
    ControlDecl& TabIndex(int n) {
        tabOrder = n;
        return *this;
    }
    ControlDecl& NoTabStop() {
        tabStop = false;
        return *this;
    }
    ControlDecl& Aligned(Align a) {
        alignment = a;
        return *this;
    }
    ControlDecl& FixedSize(int w, int h) {
        width = w;
        height = h;
        autoSize = false;
        return *this;
    }
    ControlDecl& MultiSelect() {
        multiSelect = true;
        return *this;
    }
    ControlDecl& ItemHeight(int px) {
        itemHeight = px;
        return *this;
    }
    ControlDecl& Items(std::vector<std::string> v) {
        items = std::move(v);
        return *this;
    }
    ControlDecl& Columns(std::vector<ColumnDecl> v) {
        columns = std::move(v);
        return *this;
    }
    ControlDecl& Closes(ModalResult r) {
        modalResult = r;
        return *this;
    }
    ControlDecl& Image(std::string resource) {
        image = std::move(resource);
        return *this;
    }
};

// Factories for each kind. `parent` is the name of the containing control, or
// empty for the form's client area.
ControlDecl LabelDecl(std::string name, std::string parent, int left, int top,
                      std::string caption);  // auto-sized
ControlDecl ButtonDecl(std::string name, std::string parent, int left, int top, int width,
                       int height, std::string caption);
ControlDecl CheckBoxDecl(std::string name, std::string parent, int left, int top, int width,
                         int height, std::string caption);
ControlDecl RadioDecl(std::string name, std::string parent, int left, int top, int width,
                      int height, std::string caption);
ControlDecl GroupBoxDecl(std::string name, std::string parent, int left, int top, int width,
                         int height, std::string caption = {});
ControlDecl ListBoxDecl(std::string name, std::string parent, int left, int top, int width,
                        int height);
ControlDecl PageControlDecl(std::string name, std::string parent, int left, int top, int width,
                            int height);
ControlDecl TabSheetDecl(std::string name, std::string pageControl, std::string caption);
ControlDecl NotebookDecl(std::string name, std::string parent, int left, int top, int width,
                         int height);
ControlDecl NotebookPageDecl(std::string name, std::string notebook);
ControlDecl PictureDecl(std::string name, std::string parent, int left, int top, int width,
                        int height);
ControlDecl ImageListDecl(std::string name, int width, int height,
                          std::vector<std::string> resources);
ControlDecl ListViewDecl(std::string name, std::string parent, int left, int top, int width,
                         int height, std::vector<ColumnDecl> columns);
ControlDecl BevelDecl(std::string name, std::string parent, int left, int top, int width,
                      int height);
ControlDecl TimerDecl(std::string name, int intervalMs, bool running);
ControlDecl LineBufferDecl(std::string name);

struct FormDecl {
    std::string name;     // "Form1"..."Form4"
    std::string caption;  // the window's title
    int clientWidth = 0;
    int clientHeight = 0;
    BorderStyle border = BorderStyle::Single;
    bool titleButtons = false;  // system menu, minimise, maximise, close
    bool centred = true;        // opens centred on the screen
    Color color = kColorDefault;
    FontDecl font;  // default font of every control (Shift-JIS character set)
    std::vector<ControlDecl> controls;

    // The declaration of `name`, or nullptr.
    const ControlDecl* Find(const std::string& controlName) const;
};

// The default face of every Sabrel form, 15 px: "ＭＳ Ｐゴシック" in Japanese, and
// in English "MS Sans Serif", which every Windows 9x has, at the same height so
// that the layout holds.
inline constexpr char kDefaultFace[] = "ＭＳ Ｐゴシック";
inline constexpr char kDefaultFaceLatin[] = "MS Sans Serif";
inline constexpr int kDefaultFontPx = 15;

inline const char* DefaultFace(texts::Language language) {
    return language == texts::Language::English ? kDefaultFaceLatin : kDefaultFace;
}

}  // namespace sabrel::ui
