// SPDX-License-Identifier: MIT
// The script backend: scripted answers, recordings, loud failures, threads,
// the message loop and the end of the program.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ui/form.h"
#include "ui/script/script_ui.h"
#include "ui/ui.h"

namespace sabrel::ui {
namespace {

class ScriptUiTest : public ::testing::Test {
  protected:
    ScriptUiTest() {
        ui.SetFailureHandler([this](const std::string& what) { failures.push_back(what); });
    }
    ScriptUi ui;
    std::vector<std::string> failures;
};

TEST_F(ScriptUiTest, EachKindOfBoxIsRecordedWithItsCaptionTextAndButtons) {
    ui.QueueAnswer(Answer::Ok);
    ui.QueueAnswer(Answer::No);
    ui.QueueAnswer(Answer::Yes);
    ui.QueueAnswer(Answer::Ok);
    ShowMessage("plain\r\ntext");
    EXPECT_FALSE(Confirm("ask"));
    ShowWarning("warn");
    ShowError("Cap", "err");
    const std::vector<BoxRecord> boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].caption, "Quillmere");
    EXPECT_EQ(boxes[0].text, "plain\r\ntext");
    EXPECT_EQ(boxes[0].buttons, std::vector<std::string>{"OK"});
    // "確認" with "はい(&Y)" and "いいえ(&N)" in code page 932.
    EXPECT_EQ(boxes[1].caption, "\x8A\x6D\x94\x46");
    EXPECT_EQ(boxes[1].buttons,
              (std::vector<std::string>{"\x82\xCD\x82\xA2(&Y)", "\x82\xA2\x82\xA2\x82\xA6(&N)"}));
    EXPECT_EQ(boxes[1].answer, Answer::No);
    EXPECT_EQ(boxes[2].caption, "\x8C\x78\x8D\x90");
    EXPECT_EQ(boxes[2].buttons, std::vector<std::string>{"\x82\xCD\x82\xA2(&Y)"});
    EXPECT_EQ(boxes[3].kind, BoxKind::Error);
    EXPECT_EQ(boxes[3].caption, "Cap");
    EXPECT_TRUE(failures.empty());
}

TEST_F(ScriptUiTest, AnUnscriptedBoxFailsAndAQuestionThenGetsNo) {
    EXPECT_FALSE(Confirm("delete?"));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("delete?"), std::string::npos);
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_FALSE(ui.Boxes()[0].expected);
}

TEST_F(ScriptUiTest, AWrongBoxOrAnAnswerWithoutAButtonFails) {
    ui.ExpectBox(BoxKind::Plain, "one", Answer::Ok);
    ShowMessage("two");
    ui.QueueAnswer(Answer::Yes);
    ShowMessage("three");  // a plain box has no yes button
    ui.ExpectBox(BoxKind::Plain, "four", Answer::Ok);
    ShowWarning("four");
    EXPECT_EQ(failures.size(), 3u);
    for (const BoxRecord& b : ui.Boxes()) EXPECT_FALSE(b.expected);
}

TEST_F(ScriptUiTest, AutoOkAnswersOnlyBoxesWithASingleOk) {
    ui.SetAutoOk(true);
    ShowMessage("done");
    ShowError("E", "bad");
    EXPECT_TRUE(failures.empty());
    ShowWarning("warn");
    EXPECT_EQ(failures.size(), 1u);
}

TEST_F(ScriptUiTest, BoxesFromOtherThreadsAreAnsweredInOrder) {
    ui.QueueAnswer(Answer::Yes);
    ui.QueueAnswer(Answer::Ok);
    bool answer = false;
    std::thread worker([&answer] {
        answer = Confirm("from the worker");
        ShowMessage("worker done");
    });
    worker.join();
    EXPECT_TRUE(answer);
    EXPECT_EQ(ui.Boxes().size(), 2u);
    EXPECT_EQ(ui.PendingAnswers(), 0u);
    EXPECT_TRUE(failures.empty());
}

TEST_F(ScriptUiTest, AfterAQuitNoEventReachesTheFormsAndTheLoopEnds) {
    FormDecl d;
    d.name = "F";
    d.controls.push_back(ButtonDecl("bt", "", 0, 0, 1, 1, "b"));
    d.controls.push_back(TimerDecl("tm", 125, true));
    Form form(d);
    EXPECT_EQ(ui.FindForm("F"), &form);
    form.Show();
    EXPECT_EQ(ui.ShowLog(), std::vector<std::string>{"F"});
    int loopSteps = 0;
    ui.SetLoop([&](ScriptUi& s) {
        ++loopSteps;
        EXPECT_TRUE(s.Tick(form, "tm"));
        AskToEnd();
        EXPECT_FALSE(s.Tick(form, "tm"));
        EXPECT_FALSE(s.Click(form, "bt"));
    });
    EXPECT_EQ(ui.Run(), 0);
    EXPECT_EQ(loopSteps, 1);
    EXPECT_EQ(ui.QuitRequests(), 1);
    EXPECT_TRUE(ui.QuitPosted());
}

TEST_F(ScriptUiTest, AnUnscriptedModalShowFailsAndClosesTheForm) {
    FormDecl d;
    d.name = "M";
    Form form(d);
    EXPECT_EQ(form.ShowModal(), ModalResult::None);
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_FALSE(form.Visible());
}

TEST(ScriptUiLifetime, PutsBackThePreviousBackend) {
    ScriptUi outer;
    {
        ScriptUi inner;
        EXPECT_EQ(Current(), &inner);
    }
    EXPECT_EQ(Current(), &outer);
}

}  // namespace
}  // namespace sabrel::ui
