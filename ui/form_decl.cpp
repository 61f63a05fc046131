// SPDX-License-Identifier: MIT
#include "ui/form_decl.h"

#include <utility>

namespace sabrel::ui {

namespace {

ControlDecl Make(ControlKind kind, std::string name, std::string parent, int left, int top,
                 int width, int height, std::string caption) {
    ControlDecl d;
    d.kind = kind;
    d.name = std::move(name);
    d.parent = std::move(parent);
    d.left = left;
    d.top = top;
    d.width = width;
    d.height = height;
    d.caption = std::move(caption);
    return d;
}

}  // namespace

ControlDecl LabelDecl(std::string name, std::string parent, int left, int top,
                      std::string caption) {
    ControlDecl d = Make(ControlKind::Label, std::move(name), std::move(parent), left, top, 0, 0,
                         std::move(caption));
    d.autoSize = true;
    d.tabStop = false;
    return d;
}

ControlDecl ButtonDecl(std::string name, std::string parent, int left, int top, int width,
                       int height, std::string caption) {
    return Make(ControlKind::Button, std::move(name), std::move(parent), left, top, width, height,
                std::move(caption));
}

ControlDecl CheckBoxDecl(std::string name, std::string parent, int left, int top, int width,
                         int height, std::string caption) {
    return Make(ControlKind::CheckBox, std::move(name), std::move(parent), left, top, width, height,
                std::move(caption));
}

ControlDecl RadioDecl(std::string name, std::string parent, int left, int top, int width,
                      int height, std::string caption) {
    return Make(ControlKind::RadioButton, std::move(name), std::move(parent), left, top, width,
                height, std::move(caption));
}

ControlDecl GroupBoxDecl(std::string name, std::string parent, int left, int top, int width,
                         int height, std::string caption) {
    ControlDecl d = Make(ControlKind::GroupBox, std::move(name), std::move(parent), left, top,
                         width, height, std::move(caption));
    d.tabStop = false;
    return d;
}

ControlDecl ListBoxDecl(std::string name, std::string parent, int left, int top, int width,
                        int height) {
    return Make(ControlKind::ListBox, std::move(name), std::move(parent), left, top, width, height,
                {});
}

ControlDecl PageControlDecl(std::string name, std::string parent, int left, int top, int width,
                            int height) {
    return Make(ControlKind::PageControl, std::move(name), std::move(parent), left, top, width,
                height, {});
}

ControlDecl TabSheetDecl(std::string name, std::string pageControl, std::string caption) {
    ControlDecl d = Make(ControlKind::TabSheet, std::move(name), std::move(pageControl), 0, 0, 0, 0,
                         std::move(caption));
    d.tabStop = false;
    return d;
}

ControlDecl NotebookDecl(std::string name, std::string parent, int left, int top, int width,
                         int height) {
    ControlDecl d = Make(ControlKind::Notebook, std::move(name), std::move(parent), left, top,
                         width, height, {});
    d.tabStop = false;
    return d;
}

ControlDecl NotebookPageDecl(std::string name, std::string notebook) {
    std::string caption = name;
    ControlDecl d = Make(ControlKind::NotebookPage, std::move(name), std::move(notebook), 0, 0, 0,
                         0, std::move(caption));
    d.tabStop = false;
    return d;
}

ControlDecl PictureDecl(std::string name, std::string parent, int left, int top, int width,
                        int height) {
    ControlDecl d = Make(ControlKind::Picture, std::move(name), std::move(parent), left, top, width,
                         height, {});
    d.tabStop = false;
    return d;
}

ControlDecl ImageListDecl(std::string name, int width, int height,
                          std::vector<std::string> resources) {
    ControlDecl d = Make(ControlKind::ImageList, std::move(name), {}, 0, 0, 0, 0, {});
    d.imageWidth = width;
    d.imageHeight = height;
    d.items = std::move(resources);
    d.visible = false;
    d.tabStop = false;
    return d;
}

ControlDecl ListViewDecl(std::string name, std::string parent, int left, int top, int width,
                         int height, std::vector<ColumnDecl> columns) {
    ControlDecl d = Make(ControlKind::ListView, std::move(name), std::move(parent), left, top,
                         width, height, {});
    d.columns = std::move(columns);
    return d;
}

ControlDecl BevelDecl(std::string name, std::string parent, int left, int top, int width,
                      int height) {
    ControlDecl d =
        Make(ControlKind::Bevel, std::move(name), std::move(parent), left, top, width, height, {});
    d.tabStop = false;
    return d;
}

ControlDecl TimerDecl(std::string name, int intervalMs, bool running) {
    ControlDecl d = Make(ControlKind::Timer, std::move(name), {}, 0, 0, 0, 0, {});
    d.interval = intervalMs;
    d.enabled = running;
    d.visible = false;
    d.tabStop = false;
    return d;
}

ControlDecl LineBufferDecl(std::string name) {
    ControlDecl d = Make(ControlKind::LineBuffer, std::move(name), {}, 0, 0, 0, 0, {});
    d.visible = false;
    d.tabStop = false;
    return d;
}

const ControlDecl* FormDecl::Find(const std::string& controlName) const {
    for (const ControlDecl& c : controls) {
        if (c.name == controlName) return &c;
    }
    return nullptr;
}

}  // namespace sabrel::ui
