// SPDX-License-Identifier: MIT
// The declarations of the three forms: every control the handlers name is
// there, sits inside its parent, and the tab orders and pages are consistent.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/form_decls.h"
#include "common/texts.h"
#include "options/form2_decl.h"
#include "ui/form.h"
#include "ui/script/script_ui.h"

namespace sabrel::ui {
namespace {

// Room that a page control's tabs and frame take from its pages.
constexpr int kTabHeaderAllowance = 24;

struct Area {
    int width;
    int height;
};

void CheckPlaces(const FormDecl& form) {
    std::map<std::string, Area> areas;
    for (const ControlDecl& c : form.controls) {
        Area parent{form.clientWidth, form.clientHeight};
        if (!c.parent.empty()) {
            ASSERT_TRUE(areas.count(c.parent)) << form.name << ": " << c.name;
            parent = areas[c.parent];
        }
        switch (c.kind) {
            case ControlKind::TabSheet:
                areas[c.name] = {parent.width, parent.height - kTabHeaderAllowance};
                continue;
            case ControlKind::NotebookPage:
                areas[c.name] = parent;
                continue;
            case ControlKind::Timer:
            case ControlKind::ImageList:
            case ControlKind::LineBuffer:
                continue;
            default:
                break;
        }
        EXPECT_GE(c.left, 0) << form.name << ": " << c.name;
        EXPECT_GE(c.top, 0) << form.name << ": " << c.name;
        EXPECT_LT(c.left, parent.width) << form.name << ": " << c.name;
        EXPECT_LT(c.top, parent.height) << form.name << ": " << c.name;
        // The wizard's credit line is laid out one pixel past the client
        // area's lower edge, which clips it.
        const bool clipped = form.name == "Form1" && c.name == "Label9";
        if (!c.autoSize && !clipped) {
            EXPECT_GT(c.width, 0) << form.name << ": " << c.name;
            EXPECT_GT(c.height, 0) << form.name << ": " << c.name;
            EXPECT_LE(c.left + c.width, parent.width) << form.name << ": " << c.name;
            EXPECT_LE(c.top + c.height, parent.height) << form.name << ": " << c.name;
        }
        areas[c.name] = {c.width, c.height};
    }
}

void CheckTabOrders(const FormDecl& form) {
    std::map<std::string, std::set<int>> used;
    for (const ControlDecl& c : form.controls) {
        if (c.tabOrder < 0) continue;
        EXPECT_TRUE(used[c.parent].insert(c.tabOrder).second)
            << form.name << ": tab order " << c.tabOrder << " twice under '" << c.parent << "'";
    }
}

class DeclsTest : public ::testing::Test {
  protected:
    ScriptUi ui;
};

TEST_F(DeclsTest, EveryFormBuildsAndItsControlsSitInsideTheirParents) {
    for (const FormDecl* f : {&app::Form1Decl(), &options::Form2Decl(), &app::Form3Decl()}) {
        Form form(*f);  // aborts on an unknown parent or a name used twice
        CheckPlaces(*f);
        CheckTabOrders(*f);
        EXPECT_EQ(f->font.face, kDefaultFace);
        EXPECT_EQ(f->font.sizePx, 15);
        EXPECT_FALSE(f->titleButtons);
        EXPECT_TRUE(f->centred);
    }
}

bool IsAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) > 0x7E) return false;
    }
    return true;
}

// In English every form names MS Sans Serif at the same height, shows only
// ASCII, and keeps the Japanese layout control for control.
TEST_F(DeclsTest, TheEnglishFormsKeepTheLayoutInTheirOwnFace) {
    using Get = const FormDecl& (*)();
    for (Get get : {Get(&app::Form1Decl), Get(&options::Form2Decl), Get(&app::Form3Decl)}) {
        const FormDecl& japanese = get();
        texts::ScopedLanguage english(texts::Language::English);
        const FormDecl& f = get();
        SCOPED_TRACE(f.name);
        ASSERT_NE(&f, &japanese);
        Form form(f);
        EXPECT_EQ(f.font.face, "MS Sans Serif");
        EXPECT_EQ(f.font.sizePx, japanese.font.sizePx);
        EXPECT_TRUE(IsAscii(f.caption)) << f.caption;
        ASSERT_EQ(f.controls.size(), japanese.controls.size());
        for (std::size_t i = 0; i < f.controls.size(); ++i) {
            const ControlDecl &e = f.controls[i], &j = japanese.controls[i];
            SCOPED_TRACE(e.name);
            EXPECT_EQ(e.name, j.name);
            EXPECT_EQ(std::vector<int>({e.left, e.top, e.width, e.height, e.font.sizePx}),
                      std::vector<int>({j.left, j.top, j.width, j.height, j.font.sizePx}));
            EXPECT_EQ(e.font.face, j.font.face);
            EXPECT_TRUE(IsAscii(e.caption)) << e.caption;
            for (const std::string& item : e.items) EXPECT_TRUE(IsAscii(item)) << item;
            for (const ColumnDecl& c : e.columns) EXPECT_TRUE(IsAscii(c.caption)) << c.caption;
        }
    }
}

TEST_F(DeclsTest, TheWizardHasFourPagesAndEveryControlItsHandlersUse) {
    Form form(app::Form1Decl());
    std::vector<std::string> pages;
    for (Control* p : form.Get("nbStage").Pages()) pages.push_back(p->Name());
    EXPECT_EQ(pages, (std::vector<std::string>{"00", "01", "02", "03"}));
    EXPECT_EQ(form.Get("nbStage").ActivePage()->Name(), "00");

    const std::map<std::string, std::string> onPage = {
        {"Label2", "00"}, {"Label3", "00"},     {"Label6", "00"},   {"Label4", "00"},
        {"btOk", "00"},   {"btOption", "00"},   {"btCancel", "00"}, {"btDBG", "00"},
        {"imgFld", "01"}, {"lbDoing", "01"},    {"Label1", "02"},   {"btFin1", "02"},
        {"Label7", "03"}, {"imComplete", "03"}, {"btReboot", "03"}, {"btAbort", "03"},
    };
    for (const auto& [name, page] : onPage) {
        ASSERT_NE(form.Find(name), nullptr) << name;
        EXPECT_EQ(form.Get(name).Parent()->Name(), page) << name;
    }
    for (const char* hidden : {"btDBG", "imComplete", "btReboot", "btAbort"}) {
        EXPECT_FALSE(form.Get(hidden).Visible()) << hidden;
    }
    EXPECT_FALSE(form.Get("btDBG").Decl().tabStop);
    EXPECT_EQ(form.Get("Timer1").Decl().interval, 125);
    EXPECT_TRUE(form.Get("Timer1").Enabled());
    EXPECT_EQ(form.Get("ilImgLst").Decl().items.size(), 4u);
    EXPECT_EQ(form.Get("imgFld").Image(), "");
    EXPECT_EQ(form.Get("Label9").Decl().alignment, Align::Right);
    EXPECT_EQ(form.Get("Label6").Decl().alignment, Align::Center);
    for (const char* name : {"Bevel1", "Label5", "Label9"}) EXPECT_NE(form.Find(name), nullptr);
}

TEST_F(DeclsTest, TheReportHasItsFourColumnsAndClosesOnOk) {
    Form form(app::Form3Decl());
    const std::vector<ColumnDecl>& cols = form.Get("lvResult").Decl().columns;
    ASSERT_EQ(cols.size(), 4u);
    EXPECT_EQ(cols[0].alignment, Align::Left);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(cols[i].alignment, Align::Right);
    EXPECT_EQ(form.Get("btOK").Decl().modalResult, ModalResult::Ok);
    EXPECT_EQ(form.BackColor(), kNavy);
}

TEST_F(DeclsTest, TheOptionsDialogHasSixTabsInOrderAndOneSelectionPerGroup) {
    Form form(options::Form2Decl());
    std::vector<std::string> tabs;
    for (Control* p : form.Get("pgOption").Pages()) tabs.push_back(p->Name());
    EXPECT_EQ(tabs, (std::vector<std::string>{"tsDousa", "tsBeforeRebld", "tsBckUp", "tsAfterReBld",
                                              "tsTerminate", "tsReplace"}));
    // "1. 動作" in code page 932.
    EXPECT_EQ(form.Get("tsDousa").Caption(), "1. \x93\xAE\x8D\xEC");
    for (const char* group : {"gbDousa", "gbBckup", "gbAfterRebld"}) {
        int checked = 0;
        for (const auto& c : form.Controls()) {
            if (c->Kind() == ControlKind::RadioButton && c->Parent()->Name() == group) {
                checked += c->Checked();
            }
        }
        EXPECT_EQ(checked, 1) << group;
    }
    EXPECT_FALSE(form.Get("cbSweepDGAP").Enabled());
    EXPECT_FALSE(form.Get("meBat").Visible());
}

}  // namespace
}  // namespace sabrel::ui
