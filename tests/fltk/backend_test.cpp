// SPDX-License-Identifier: MIT
// The FLTK backend on a real (virtual) display: widgets built from a form's
// declaration follow the portable controls, user actions reach the handlers,
// timers tick, and message boxes asked for by another thread are answered on
// the user-interface thread. Run through with_xvfb.sh; skipped without DISPLAY.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "art/artwork.h"
#include "ui/fltk/fltk_ui.h"
#include "ui/fltk/message_box.h"
#include "ui/fltk/widgets.h"
#include "ui/form.h"

// After the project's headers: these bring in X11's macros.
#include <FL/Fl.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

namespace {

using namespace sabrel::ui;
using sabrel::ui::fltk::FltkUi;

FormDecl DemoDecl() {
    FormDecl f;
    f.name = "Demo";
    f.caption = "Demo <Form>";
    f.clientWidth = 400;
    f.clientHeight = 300;
    f.color = kGreen;
    f.font = {kDefaultFace, kDefaultFontPx, false, false};
    auto& c = f.controls;
    c.push_back(BevelDecl("Bevel1", "", 4, 4, 392, 40));
    c.push_back(LabelDecl("lbTitle", "", 10, 10, "再構成").Fg(kWhite).Bold().Size(20));
    c.push_back(ButtonDecl("btGo", "", 300, 10, 80, 25, "OK").TabIndex(1));
    c.push_back(ButtonDecl("btFirst", "", 200, 10, 80, 25, "先").TabIndex(0));
    c.push_back(CheckBoxDecl("cbCheck", "", 10, 50, 150, 17, "検査する").Checked());
    c.push_back(GroupBoxDecl("gbMode", "", 170, 50, 200, 60));
    c.push_back(RadioDecl("rbA", "gbMode", 8, 8, 150, 17, "ａ").Checked());
    c.push_back(RadioDecl("rbB", "gbMode", 8, 30, 150, 17, "ｂ"));
    c.push_back(
        ListBoxDecl("lbList", "", 10, 120, 150, 60).MultiSelect().Items({"ONE", "TWO", "THREE"}));
    c.push_back(PageControlDecl("pgTabs", "", 170, 120, 220, 80));
    c.push_back(TabSheetDecl("tsOne", "pgTabs", "1. 動作"));
    c.push_back(TabSheetDecl("tsTwo", "pgTabs", "2. 再構成前"));
    c.push_back(CheckBoxDecl("cbOnTwo", "tsTwo", 4, 4, 150, 17, "二"));
    c.push_back(NotebookDecl("nbBook", "", 10, 200, 150, 90));
    c.push_back(NotebookPageDecl("00", "nbBook"));
    c.push_back(NotebookPageDecl("01", "nbBook"));
    c.push_back(PictureDecl("imPic", "01", 0, 0, 64, 64));
    c.push_back(ListViewDecl("lvRows", "", 170, 210, 220, 80,
                             {{"名前", Align::Left, 0}, {"前(Bytes)", Align::Right, 0}}));
    c.push_back(TimerDecl("Timer1", 20, false));
    return f;
}

class DemoForm : public Form {
  public:
    explicit DemoForm(const FormDecl& decl) : Form(decl) {
        Bind("btGo", Event::Click, [this] { ++clicks; });
        Bind("lbTitle", Event::DoubleClick, [this] { ++doubleClicks; });
        Bind("Timer1", Event::Timer, [this] {
            if (++ticks == 5) Get("Timer1").SetEnabled(false);
        });
    }
    int clicks = 0;
    int doubleClicks = 0;
    int ticks = 0;
    bool allowClose = false;

  protected:
    bool CanClose() override { return allowClose; }
};

class FltkBackend : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "no X display";
        ui_ = std::make_unique<FltkUi>();
        Set(ui_.get());
        decl_ = DemoDecl();
        form_ = std::make_unique<DemoForm>(decl_);
    }
    void TearDown() override {
        form_.reset();
        Set(nullptr);
        ui_.reset();
    }

    // Runs the event loop until `done` or two seconds have passed.
    static bool RunUntil(const std::function<bool()>& done) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            Fl::wait(0.01);
        }
        return true;
    }

    Fl_Widget* W(const std::string& name) { return ui_->WidgetOf(form_->Get(name)); }

    std::unique_ptr<FltkUi> ui_;
    FormDecl decl_;
    std::unique_ptr<DemoForm> form_;
};

TEST_F(FltkBackend, WidgetsFollowTheDeclarationAndTheControls) {
    form_->SetBackColor(kBlack);
    form_->Show();
    Fl_Double_Window* win = ui_->WindowOf(*form_);
    ASSERT_TRUE(win);
    EXPECT_TRUE(win->shown());
    EXPECT_STREQ(win->label(), "Demo <Form>");
    EXPECT_STREQ(win->xclass(), "SabrelDemo");
    EXPECT_EQ(win->color(), fl_rgb_color(0, 0, 0));
    EXPECT_EQ(win->w(), 400);
    EXPECT_EQ(win->h(), 300);

    // Labels: UTF-8 caption, sized to the text, recomputed on change.
    Fl_Widget* title = W("lbTitle");
    EXPECT_STREQ(title->label(), u8"再構成");
    fl_font(title->labelfont(), title->labelsize());
    EXPECT_EQ(title->w(), static_cast<int>(fl_width(u8"再構成") + 0.5));
    int before = title->w();
    form_->Get("lbTitle").SetCaption("再構成を中止しました");
    EXPECT_STREQ(title->label(), u8"再構成を中止しました");
    EXPECT_GT(title->w(), before);

    // Visibility, enablement and marks.
    form_->Get("btGo").SetVisible(false);
    EXPECT_FALSE(W("btGo")->visible());
    form_->Get("btGo").SetVisible(true);
    form_->Get("btGo").SetEnabled(false);
    EXPECT_FALSE(W("btGo")->active());
    EXPECT_EQ(static_cast<Fl_Button*>(W("cbCheck"))->value(), 1);
    form_->Get("rbB").SetChecked(true);
    EXPECT_EQ(static_cast<Fl_Button*>(W("rbA"))->value(), 0);
    EXPECT_EQ(static_cast<Fl_Button*>(W("rbB"))->value(), 1);

    // Places: a group box's children sit inside it.
    EXPECT_EQ(W("rbA")->x(), 170 + 8);
    EXPECT_EQ(W("rbA")->y(), 50 + 8);

    // Tab order: btFirst (0) comes before btGo (1) in the focus chain.
    Fl_Group* top = W("btGo")->parent();
    EXPECT_LT(top->find(W("btFirst")), top->find(W("btGo")));

    // List box items and marks.
    auto* list = static_cast<Fl_Browser*>(W("lbList"));
    ASSERT_EQ(list->size(), 3);
    form_->Get("lbList").SetMarked(2, true);
    EXPECT_FALSE(list->selected(1));
    EXPECT_TRUE(list->selected(3));
    form_->Get("lbList").AddItem("四", true);
    ASSERT_EQ(list->size(), 4);
    EXPECT_STREQ(list->text(4), u8"四");
    EXPECT_TRUE(list->selected(4));

    // Notebook pages and pictures.
    EXPECT_TRUE(W("00")->visible());
    EXPECT_FALSE(W("01")->visible());
    form_->Get("nbBook").ShowPage("01");
    EXPECT_FALSE(W("00")->visible());
    EXPECT_TRUE(W("01")->visible());
    EXPECT_EQ(W("imPic")->image(), nullptr);
    form_->Get("imPic").SetImage(sabrel::art::kFrameResources[0]);
    ASSERT_NE(W("imPic")->image(), nullptr);
    EXPECT_EQ(W("imPic")->image()->w(), 64);

    // The report list: right-aligned figures in columns as wide as their texts.
    auto* table = static_cast<sabrel::ui::fltk::ReportTable*>(W("lvRows"));
    form_->Get("lvRows").AddRow({"SYSTEM.DAT", "2,000,000"});
    form_->Get("lvRows").AddRow({"Profiles\\山田\\USER.DAT", "1"});
    EXPECT_EQ(table->rows(), 2);
    fl_font(FL_HELVETICA, kDefaultFontPx);
    EXPECT_GE(table->ColumnWidth(0), static_cast<int>(fl_width(u8"Profiles\\山田\\USER.DAT")));
    EXPECT_GE(table->ColumnWidth(1), static_cast<int>(fl_width("2,000,000")));
    EXPECT_GE(table->ColumnWidth(1), static_cast<int>(fl_width("前(Bytes)")));
    form_->Get("lvRows").ClearRows();
    EXPECT_EQ(table->rows(), 0);
    Fl::flush();
}

TEST_F(FltkBackend, UserActionsReachTheFormAndTheControlsDecide) {
    form_->Show();
    // A click on a check box toggles the control; the widget shows its answer.
    auto* check = static_cast<Fl_Button*>(W("cbCheck"));
    check->value(0);
    check->do_callback();
    EXPECT_FALSE(form_->Get("cbCheck").Checked());
    // A disabled control refuses, and the widget goes back to its state.
    form_->Get("cbCheck").SetEnabled(false);
    check->value(1);
    check->do_callback();
    EXPECT_FALSE(form_->Get("cbCheck").Checked());
    EXPECT_EQ(check->value(), 0);
    // Clicking a selected radio button leaves it selected.
    auto* radio = static_cast<Fl_Button*>(W("rbA"));
    radio->value(0);
    radio->do_callback();
    EXPECT_TRUE(form_->Get("rbA").Checked());
    EXPECT_EQ(radio->value(), 1);

    W("btGo")->do_callback();
    EXPECT_EQ(form_->clicks, 1);
    // Return presses the button that has the focus.
    ASSERT_TRUE(W("btGo")->take_focus());
    Fl::e_keysym = FL_Enter;
    EXPECT_EQ(W("btGo")->handle(FL_KEYBOARD), 1);
    EXPECT_EQ(form_->clicks, 2);

    auto* list = static_cast<sabrel::ui::fltk::ToggleList*>(W("lbList"));
    list->onToggle(1);
    list->onToggle(2);
    list->onToggle(1);
    EXPECT_FALSE(form_->Get("lbList").Marked(1));
    EXPECT_TRUE(form_->Get("lbList").Marked(2));
    EXPECT_TRUE(list->selected(3));
    EXPECT_FALSE(list->selected(2));
    // The space bar toggles the item under the caret, the last one clicked;
    // shift with an arrow selects no range.
    ASSERT_TRUE(list->take_focus());
    Fl::e_state = 0;
    Fl::e_keysym = ' ';
    list->handle(FL_KEYBOARD);
    EXPECT_TRUE(form_->Get("lbList").Marked(1));
    EXPECT_TRUE(list->selected(2));
    Fl::e_state = FL_SHIFT;
    Fl::e_keysym = FL_Down;
    list->handle(FL_KEYBOARD);
    Fl::e_state = 0;
    EXPECT_EQ(form_->Get("lbList").MarkedCount(), 2u);

    auto* label = static_cast<sabrel::ui::fltk::LabelBox*>(W("lbTitle"));
    label->onDoubleClick();
    EXPECT_EQ(form_->doubleClicks, 1);

    auto* tabs = static_cast<sabrel::ui::fltk::PageTabs*>(W("pgTabs"));
    EXPECT_TRUE(W("tsOne")->visible());
    tabs->Value(1);
    tabs->do_callback();
    EXPECT_EQ(form_->Get("pgTabs").PageIndex(), 1);
    EXPECT_FALSE(W("tsOne")->visible());
    EXPECT_TRUE(W("cbOnTwo")->visible_r());
    // Every tab title fits: the tabs wrap into rows inside the control.
    for (int i = 0; i < 2; ++i) {
        int x, y, w, h;
        tabs->TabRect(i, &x, &y, &w, &h);
        EXPECT_LE(x + w, tabs->x() + tabs->w());
    }

    // The close command goes to the form, which refuses it here.
    ui_->WindowOf(*form_)->do_callback();
    EXPECT_TRUE(form_->Visible());
    EXPECT_TRUE(ui_->WindowOf(*form_)->shown());
    form_->allowClose = true;
    // Escape closes nothing on a form without a cancel button.
    Fl::e_number = FL_SHORTCUT;
    Fl::e_keysym = FL_Escape;
    ui_->WindowOf(*form_)->do_callback();
    EXPECT_TRUE(form_->Visible());
    Fl::e_number = 0;
    Fl::e_keysym = 0;
    ui_->WindowOf(*form_)->do_callback();
    EXPECT_FALSE(form_->Visible());
    EXPECT_FALSE(ui_->WindowOf(*form_)->shown());
}

TEST_F(FltkBackend, TimerTicksEveryIntervalUntilStopped) {
    form_->Show();
    form_->Get("Timer1").SetEnabled(true);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunUntil([&] { return form_->ticks >= 5; }));
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(90));
    // The handler stopped it at the fifth tick: no sixth comes.
    RunUntil([] { return false; });
    EXPECT_EQ(form_->ticks, 5);
}

Fl_Window* FindBox() {
    for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w)) {
        if (w->xclass() && std::string(w->xclass()) == sabrel::ui::fltk::kBoxWindowClass) return w;
    }
    return nullptr;
}

Fl_Button* BoxButton(Fl_Window* box, const char* label) {
    for (int i = 0; i < box->children(); ++i) {
        auto* b = dynamic_cast<Fl_Button*>(box->child(i));
        if (b && b->label() && std::string(b->label()) == label) return b;
    }
    return nullptr;
}

struct BoxSeen {
    std::string caption;
    bool pressed = false;
};

// Presses "はい(&Y)" once the box is up, checking that it stands left of
// "いいえ(&N)"; called from a timeout while the box's own loop runs.
void PressYes(void* p) {
    auto* seen = static_cast<BoxSeen*>(p);
    Fl_Window* b = FindBox();
    if (!b) {
        Fl::repeat_timeout(0.02, PressYes, p);
        return;
    }
    seen->caption = b->label();
    Fl_Button* no = BoxButton(b, u8"いいえ(&N)");
    Fl_Button* yes = BoxButton(b, u8"はい(&Y)");
    if (no && yes && yes->x() < no->x()) {
        yes->do_callback();
        seen->pressed = true;
    }
}

TEST_F(FltkBackend, ABoxAskedForByAnotherThreadIsAnsweredOnThisOne) {
    form_->Show();
    Answer answer = Answer::Ok;
    std::thread worker([&] {
        answer = ui_->MessageBox(BoxKind::Confirm, "確認", "消しますか？\r\n\r\n　(残ります.)");
    });
    BoxSeen seen;
    Fl::add_timeout(0.02, PressYes, &seen);
    ASSERT_TRUE(RunUntil([&] { return seen.pressed; }));
    worker.join();
    EXPECT_EQ(answer, Answer::Yes);
    EXPECT_EQ(seen.caption, std::string(u8"確認"));
}

void CloseBox(void*) {
    Fl_Window* b = FindBox();
    if (!b) {
        Fl::repeat_timeout(0.02, CloseBox);
        return;
    }
    EXPECT_STREQ(b->label(), "Quillmere");
    int buttons = 0;
    for (int i = 0; i < b->children(); ++i)
        buttons += dynamic_cast<Fl_Button*>(b->child(i)) != nullptr;
    EXPECT_EQ(buttons, 1);
    // A long line wraps inside a box that stays on the screen.
    EXPECT_LE(b->w(), 700);
    // The close command answers as the only button does.
    b->do_callback();
}

TEST_F(FltkBackend, PlainBoxHasOneOkButtonAndClosesWithIt) {
    Fl::add_timeout(0.02, CloseBox);
    std::string path = "C:\\WINDOWS\\Profiles";
    for (int i = 0; i < 12; ++i) path += "\\とても長いフォルダの名前";
    EXPECT_EQ(ui_->MessageBox(BoxKind::Plain, "Quillmere", path + ": ロードできません[5]"),
              Answer::Ok);
}

// Sends one key to the box once it is up, as FLTK does for a key that the
// focused button leaves alone.
void KeyToBox(void* key) {
    Fl_Window* b = FindBox();
    if (!b) {
        Fl::repeat_timeout(0.02, KeyToBox, key);
        return;
    }
    Fl::e_number = FL_SHORTCUT;
    Fl::e_state = 0;
    Fl::e_keysym = static_cast<int>(reinterpret_cast<std::intptr_t>(key));
    b->handle(FL_SHORTCUT);
    Fl::e_number = 0;
    Fl::e_keysym = 0;
}

TEST_F(FltkBackend, QuestionBoxKeysAnswerAsItsButtons) {
    const struct {
        int key;
        Answer answer;
    } cases[] = {
        {FL_Enter, Answer::Yes}, {'y', Answer::Yes}, {'n', Answer::No}, {FL_Escape, Answer::No}};
    for (const auto& c : cases) {
        Fl::add_timeout(0.02, KeyToBox, reinterpret_cast<void*>(static_cast<std::intptr_t>(c.key)));
        EXPECT_EQ(ui_->MessageBox(BoxKind::Confirm, "確認", "消しますか？"), c.answer) << c.key;
    }
}

FormDecl DialogDecl() {
    FormDecl f;
    f.name = "Dlg";
    f.caption = "Dialog";
    f.clientWidth = 200;
    f.clientHeight = 100;
    f.border = BorderStyle::Dialog;
    f.font = {kDefaultFace, kDefaultFontPx, false, false};
    f.controls.push_back(ButtonDecl("btOK", "", 10, 60, 80, 25, "OK").Closes(ModalResult::Ok));
    f.controls.push_back(
        ButtonDecl("btCancel", "", 110, 60, 80, 25, "ｷｬﾝｾﾙ").Closes(ModalResult::Cancel));
    return f;
}

struct ModalStep {
    FltkUi* ui;
    Form* dialog;
    bool escape;
};

// Acts in the open dialog from a timeout, while its modal loop runs.
void ActInDialog(void* p) {
    auto* step = static_cast<ModalStep*>(p);
    Fl_Double_Window* win = step->ui->WindowOf(*step->dialog);
    if (!win->shown()) {
        Fl::repeat_timeout(0.02, ActInDialog, p);
        return;
    }
    EXPECT_TRUE(win->modal());
    if (step->escape) {
        Fl::e_number = FL_SHORTCUT;
        Fl::e_keysym = FL_Escape;
        win->do_callback();
        Fl::e_number = 0;
    } else {
        step->ui->WidgetOf(step->dialog->Get("btOK"))->do_callback();
    }
}

TEST_F(FltkBackend, ModalFormRunsUntilAButtonWithAResultCloseIt) {
    form_->Show();
    FormDecl decl = DialogDecl();
    Form dialog(decl);
    ModalStep ok{ui_.get(), &dialog, false};
    Fl::add_timeout(0.02, ActInDialog, &ok);
    EXPECT_EQ(dialog.ShowModal(), ModalResult::Ok);
    EXPECT_FALSE(ui_->WindowOf(dialog)->shown());
    // Escape presses the cancel button.
    ModalStep escape{ui_.get(), &dialog, true};
    Fl::add_timeout(0.02, ActInDialog, &escape);
    EXPECT_EQ(dialog.ShowModal(), ModalResult::Cancel);
    EXPECT_FALSE(dialog.Visible());
}

TEST_F(FltkBackend, QuitFromAnotherThreadEndsTheLoop) {
    form_->Show();
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ui_->PostQuit();
    });
    EXPECT_EQ(ui_->Run(), 0);
    other.join();
    EXPECT_FALSE(ui_->WindowOf(*form_)->shown());
}

}  // namespace
