// SPDX-License-Identifier: MIT
// The live form state: radio groups, user actions and where they are refused,
// handler dispatch, modal results and the general error handler.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/script/script_ui.h"

namespace sabrel::ui {
namespace {

FormDecl TestDecl() {
    FormDecl f;
    f.name = "Test";
    f.caption = "T";
    f.controls.push_back(GroupBoxDecl("gbA", "", 0, 0, 100, 100));
    f.controls.push_back(RadioDecl("rbA1", "gbA", 0, 0, 10, 10, "a1").Checked());
    f.controls.push_back(RadioDecl("rbA2", "gbA", 0, 20, 10, 10, "a2"));
    f.controls.push_back(GroupBoxDecl("gbB", "", 0, 100, 100, 100));
    f.controls.push_back(RadioDecl("rbB1", "gbB", 0, 0, 10, 10, "b1").Checked());
    f.controls.push_back(RadioDecl("rbB2", "gbB", 0, 20, 10, 10, "b2"));
    f.controls.push_back(PageControlDecl("pg", "", 0, 200, 100, 100));
    f.controls.push_back(TabSheetDecl("ts0", "pg", "zero"));
    f.controls.push_back(TabSheetDecl("ts1", "pg", "one"));
    f.controls.push_back(CheckBoxDecl("cb0", "ts0", 0, 0, 10, 10, "c0"));
    f.controls.push_back(CheckBoxDecl("cb1", "ts1", 0, 0, 10, 10, "c1"));
    f.controls.push_back(CheckBoxDecl("cbOff", "ts0", 0, 20, 10, 10, "off").Disabled());
    f.controls.push_back(ButtonDecl("btHidden", "", 0, 0, 10, 10, "h").Invisible());
    f.controls.push_back(ButtonDecl("btGo", "", 0, 0, 10, 10, "go"));
    f.controls.push_back(ButtonDecl("btOK", "", 0, 0, 10, 10, "OK").Closes(ModalResult::Ok));
    f.controls.push_back(ButtonDecl("btThrow", "", 0, 0, 10, 10, "x"));
    f.controls.push_back(ListBoxDecl("lbMulti", "", 0, 0, 10, 10).MultiSelect().Items({"a", "b"}));
    f.controls.push_back(ListBoxDecl("lbSingle", "", 0, 0, 10, 10).Items({"a", "b"}));
    f.controls.push_back(TimerDecl("tm", 125, false));
    return f;
}

class TestForm : public Form {
  public:
    TestForm() : Form(Decl()) {
        Bind("btGo", Event::Click, [this] { log.push_back("go"); });
        Bind("btOK", Event::Click, [this] { log.push_back("ok"); });
        Bind("rbA2", Event::Click, [this] { log.push_back("a2"); });
        Bind("cb0", Event::Click, [this] { log.push_back("cb0"); });
        Bind("cbOff", Event::Click, [this] { log.push_back("cbOff"); });
        Bind("btThrow", Event::Click, [] { throw std::runtime_error("I/O error"); });
        Bind("tm", Event::Timer, [this] { log.push_back("tick"); });
        Bind("lbMulti", Event::DoubleClick, [this] { log.push_back("dbl"); });
    }
    static const FormDecl& Decl() {
        static const FormDecl d = TestDecl();
        return d;
    }
    std::vector<std::string> log;
};

class FormTest : public ::testing::Test {
  protected:
    ScriptUi ui;
    TestForm form;
};

TEST_F(FormTest, RadioButtonsAreExclusiveWithinTheirParentOnly) {
    form.Get("rbA2").SetChecked(true);
    EXPECT_FALSE(form.Get("rbA1").Checked());
    EXPECT_TRUE(form.Get("rbA2").Checked());
    EXPECT_TRUE(form.Get("rbB1").Checked());
    form.Get("rbB2").SetChecked(true);
    EXPECT_TRUE(form.Get("rbA2").Checked());
    EXPECT_FALSE(form.Get("rbB1").Checked());
    // Setting state from code runs no handler.
    EXPECT_TRUE(form.log.empty());
}

TEST_F(FormTest, ActionsOnAHiddenFormDisabledOrInvisibleControlsAreRefused) {
    EXPECT_FALSE(form.UserClick("btGo"));  // the form is not shown
    form.Show();
    EXPECT_TRUE(form.UserClick("btGo"));
    EXPECT_FALSE(form.UserClick("btHidden"));
    EXPECT_FALSE(form.UserClick("cbOff"));
    EXPECT_FALSE(form.Get("cbOff").Checked());
    EXPECT_FALSE(form.UserClick("noSuchControl"));
    EXPECT_EQ(form.log, std::vector<std::string>{"go"});
}

TEST_F(FormTest, ControlsOnATabBehindAreUnusableUntilItComesToTheFront) {
    form.Show();
    EXPECT_FALSE(form.UserClick("cb1"));
    EXPECT_TRUE(form.UserSelectPage("pg", 1));
    EXPECT_EQ(form.Get("pg").ActivePage(), &form.Get("ts1"));
    EXPECT_TRUE(form.UserClick("cb1"));
    EXPECT_TRUE(form.Get("cb1").Checked());
    EXPECT_FALSE(form.UserClick("cb0"));
    EXPECT_FALSE(form.UserSelectPage("pg", 2));
    EXPECT_EQ(form.Get("pg").PageIndex(), 1);
}

TEST_F(FormTest, ClicksToggleCheckBoxesAndSelectRadioButtonsOnce) {
    form.Show();
    EXPECT_TRUE(form.UserClick("cb0"));
    EXPECT_TRUE(form.Get("cb0").Checked());
    EXPECT_TRUE(form.UserClick("cb0"));
    EXPECT_FALSE(form.Get("cb0").Checked());
    EXPECT_TRUE(form.UserClick("rbA2"));
    EXPECT_TRUE(form.UserClick("rbA2"));  // already selected: no second report
    EXPECT_FALSE(form.Get("rbA1").Checked());
    EXPECT_EQ(form.log, (std::vector<std::string>{"cb0", "cb0", "a2"}));
}

TEST_F(FormTest, ListBoxItemClicksToggleMarksOrSelectOne) {
    form.Show();
    ASSERT_TRUE(form.UserClickItem("lbMulti", 0));
    ASSERT_TRUE(form.UserClickItem("lbMulti", 1));
    EXPECT_EQ(form.Get("lbMulti").MarkedCount(), 2u);
    ASSERT_TRUE(form.UserClickItem("lbMulti", 0));
    EXPECT_FALSE(form.Get("lbMulti").Marked(0));
    EXPECT_TRUE(form.Get("lbMulti").Marked(1));
    EXPECT_FALSE(form.UserClickItem("lbMulti", 2));

    ASSERT_TRUE(form.UserClickItem("lbSingle", 0));
    ASSERT_TRUE(form.UserClickItem("lbSingle", 1));
    EXPECT_FALSE(form.Get("lbSingle").Marked(0));
    EXPECT_TRUE(form.Get("lbSingle").Marked(1));
    EXPECT_TRUE(form.UserDoubleClick("lbMulti"));
    EXPECT_EQ(form.log.back(), "dbl");
}

TEST_F(FormTest, TimersTickOnlyWhileRunning) {
    EXPECT_FALSE(form.TimerTick("tm"));
    form.Get("tm").SetEnabled(true);
    EXPECT_TRUE(form.TimerTick("tm"));
    EXPECT_FALSE(form.TimerTick("btGo"));
    form.Get("tm").SetEnabled(false);
    EXPECT_FALSE(form.TimerTick("tm"));
    EXPECT_EQ(form.log, std::vector<std::string>{"tick"});
}

TEST_F(FormTest, AButtonWithAModalResultClosesTheModalFormAfterItsHandler) {
    ui.QueueModal([this](Form& f) {
        EXPECT_TRUE(ui.Click(f, "btGo"));
        EXPECT_TRUE(ui.Click(f, "btOK"));
        // Closing: nothing more can be pressed.
        EXPECT_FALSE(ui.Click(f, "btGo"));
    });
    EXPECT_EQ(form.ShowModal(), ModalResult::Ok);
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(form.log, (std::vector<std::string>{"go", "ok"}));
    EXPECT_EQ(ui.ModalLog(), std::vector<std::string>{"Test"});
}

TEST_F(FormTest, AnErrorRaisedByAHandlerIsShownAndTheProgramGoesOn) {
    ui.ExpectBox(BoxKind::Error, "I/O error", Answer::Ok);
    form.Show();
    EXPECT_TRUE(form.UserClick("btThrow"));
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].caption, "Quillmere");
    EXPECT_TRUE(form.UserClick("btGo"));
}

class Recorder : public FormObserver {
  public:
    void ControlChanged(Control& c, Change what) override {
        seen.push_back(c.Name() + ":" + std::to_string(static_cast<int>(what)));
    }
    void FormChanged(Form&, Change what) override {
        seen.push_back("form:" + std::to_string(static_cast<int>(what)));
    }
    std::vector<std::string> seen;
};

TEST_F(FormTest, ObserversHearOfRealChangesOnlyAndTimerRestarts) {
    Recorder r;
    form.SetObserver(&r);
    form.Get("btGo").SetCaption("go");  // unchanged
    form.Get("btGo").SetCaption("went");
    form.Get("tm").SetEnabled(true);
    form.Get("tm").SetEnabled(false);
    form.Get("tm").SetEnabled(true);
    form.SetBackColor(kBlack);
    const std::string timer = "tm:" + std::to_string(static_cast<int>(Change::Timer));
    EXPECT_EQ(r.seen, (std::vector<std::string>{
                          "btGo:" + std::to_string(static_cast<int>(Change::Caption)), timer, timer,
                          timer, "form:" + std::to_string(static_cast<int>(Change::Color))}));
    form.SetObserver(nullptr);
}

}  // namespace
}  // namespace sabrel::ui
