// SPDX-License-Identifier: MIT
// The withdrawal: deleting the rebuilt files entry by entry, going on past a
// file that will not go, and removing the program's WININIT.INI entries.
#include "rebuild/withdrawal.h"

#include <gtest/gtest.h>

#include "tests/rebuild/fake_platform.h"
#include "tests/rebuild/recording_ui.h"

namespace sabrel::test {
namespace {

class WithdrawalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Set(&p);
        ui::Set(&u);
    }
    void TearDown() override {
        platform::Set(nullptr);
        ui::Set(nullptr);
    }
    FakePlatform p;
    RecordingUi u;
    const std::string win = "C:\\WINDOWS";
    std::vector<rebuild::TargetEntry> targets = {{"SYSTEM.DAT", true},
                                                 {"USER.DAT", true},
                                                 {"CLASSES.DAT", false},
                                                 {"Profiles\\A\\USER.DAT", true}};
};

TEST_F(WithdrawalTest, DeletesEverySelectedRebuiltFileAndReportsOnlySurvivors) {
    p.AddFile("C:\\WINDOWS\\SYSTEM.CLN", 10, kAttrReadOnly | kAttrHidden | kAttrSystem);
    p.AddFile("C:\\WINDOWS\\USER.CLN");
    p.AddFile("C:\\WINDOWS\\USER.DAT");
    p.undeletable.insert("C:\\WINDOWS\\USER.CLN");
    p.AddFile("C:\\WINDOWS\\CLASSES.CLN");  // not selected: stays
    // The profile's rebuilt file is gone already: skipped without a word.
    p.AddFile("C:\\WINDOWS\\SYSTEM.DAT");
    rebuild::DeleteRebuiltFiles(win, targets);
    EXPECT_FALSE(p.Has("C:\\WINDOWS\\SYSTEM.CLN"));
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\USER.CLN"));
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\CLASSES.CLN"));
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\SYSTEM.DAT"));
    // Each rebuilt file that was there loses its replacement entry first, so a
    // restart before the finish button cannot delete a hive for nothing.
    std::vector<std::string> removed;
    for (const IniWrite& w : p.iniWrites) {
        EXPECT_TRUE(w.remove);
        removed.push_back(w.key);
    }
    EXPECT_EQ(removed,
              (std::vector<std::string>{"C:\\WINDOWS\\SYSTEM.DAT", "C:\\WINDOWS\\USER.DAT"}));
    std::vector<Box> boxes = u.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quillmere");
    EXPECT_EQ(boxes[0].text, "C:\\WINDOWS\\USER.CLN を削除できませんでした");
}

// Windows deletes a hive before it moves its rebuilt file in: no entry may
// outlive its file, whether this withdrawal deletes the file or something
// else already did.
TEST_F(WithdrawalTest, EntryGoesFirstAndAloneKeepsItsFile) {
    for (const char* f :
         {"C:\\WINDOWS\\SYSTEM.DAT", "C:\\WINDOWS\\SYSTEM.CLN", "C:\\WINDOWS\\USER.DAT"}) {
        p.AddFile(f);
    }
    p.rename["C:\\WINDOWS\\SYSTEM.DAT"] = "C:\\WINDOWS\\SYSTEM.CLN";
    p.rename["C:\\WINDOWS\\USER.DAT"] = "C:\\WINDOWS\\USER.CLN";  // its file is gone
    rebuild::DeleteRebuiltFiles(win, targets);
    EXPECT_TRUE(p.rename.empty());
    EXPECT_EQ(p.ops, (std::vector<std::string>{"unschedule C:\\WINDOWS\\SYSTEM.DAT",
                                               "delete C:\\WINDOWS\\SYSTEM.CLN",
                                               "unschedule C:\\WINDOWS\\USER.DAT"}));
    EXPECT_TRUE(u.boxes().empty());

    // An entry that cannot be removed keeps its file, which is then reported.
    p.AddFile("C:\\WINDOWS\\SYSTEM.CLN");
    p.rename["C:\\WINDOWS\\SYSTEM.DAT"] = "C:\\WINDOWS\\SYSTEM.CLN";
    p.refuseIniRemovals = true;
    rebuild::DeleteRebuiltFiles(win, targets);
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\SYSTEM.CLN"));
    EXPECT_TRUE(p.DanglingEntries().empty());
    std::vector<Box> boxes = u.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "C:\\WINDOWS\\SYSTEM.CLN を削除できませんでした");
}

TEST_F(WithdrawalTest, CancelsSelectedHivesThenTheCachesWhoseOptionsAreOn) {
    for (const char* f :
         {"C:\\WINDOWS\\SYSTEM.DAT", "C:\\WINDOWS\\USER.DAT", "C:\\WINDOWS\\CLASSES.DAT",
          "C:\\WINDOWS\\ttfCache", "C:\\WINDOWS\\ShellIconCache"}) {
        p.AddFile(f);
    }
    p.shortNames["C:\\WINDOWS\\ShellIconCache"] = "C:\\WINDOWS\\SHELLI~1";
    rebuild::CancelReplacements(win, targets, false, true);
    std::vector<std::string> removed;
    for (const IniWrite& w : p.iniWrites) {
        EXPECT_TRUE(w.remove);
        removed.push_back(w.key);
    }
    // The profile hive has no short path (no such file): nothing to remove.
    EXPECT_EQ(removed, (std::vector<std::string>{"C:\\WINDOWS\\SYSTEM.DAT", "C:\\WINDOWS\\USER.DAT",
                                                 "C:\\WINDOWS\\SHELLI~1.BEF"}));
    EXPECT_TRUE(u.boxes().empty());
}

}  // namespace
}  // namespace sabrel::test
