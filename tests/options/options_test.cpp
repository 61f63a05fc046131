// SPDX-License-Identifier: MIT
// The options dialog TForm2 on temporary Windows folders, through the offline
// platform and the script backend: the target list and its default selection,
// the archiver library, the OK check and the enablement rules.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "options/form2.h"
#include "platform/offline/offline_platform.h"
#include "platform/platform.h"
#include "ui/form.h"
#include "ui/script/script_ui.h"

namespace sabrel::options {
namespace {

namespace fs = std::filesystem;
using ui::Answer;
using ui::BoxKind;

// Bytes of the texts the dialog shows, in code page 932.
const std::string kNotFoundLabel = "\x81\x40Unlha32.dll not Found...";
const std::string kWarningCaption = "\x8C\x78\x8D\x90";  // 警告
const std::string kNothingSelected =                     // １つも選択されていません
    "\x82\x50\x82\xC2\x82\xE0\x91\x49\x91\xF0\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9"
    "\x82\xF1";
const std::string kYes = "\x82\xCD\x82\xA2(&Y)";  // はい(&Y)
const std::string kWinDirFailed =  // windowsﾌｫﾙﾀﾞ名取得に失敗しました.
    "windows\xCC\xAB\xD9\xC0\xDE\x96\xBC\x8E\xE6\x93\xBE\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC"
    "\x82\xB5\x82\xBD.";

// The main window's start button, standing alone.
const ui::FormDecl& StandInDecl() {
    static const ui::FormDecl decl = [] {
        ui::FormDecl d;
        d.name = "Form1";
        d.controls.push_back(ui::ButtonDecl("btOk", "", 0, 0, 97, 33, "OK"));
        return d;
    }();
    return decl;
}

class OptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/sabrel-options-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        windir_ = root_ + "/WINDOWS";
        fs::create_directories(windir_);
        setenv("SABREL_WINDIR", windir_.c_str(), 1);
        setenv("SABREL_VERSION", "4.10.1998", 1);
        setenv("SABREL_UNLHA_PATH", (root_ + "/no-such-library.so").c_str(), 1);
        unsetenv("SABREL_USER");
        ui_.SetFailureHandler([](const std::string& what) { ADD_FAILURE() << what; });
    }

    void TearDown() override {
        if (form_) form_->ReleaseArchiver();
        form_.reset();
        platform::Set(nullptr);
        platform_.reset();
        fs::remove_all(root_);
    }

    void WriteFile(const std::string& hostPath) {
        fs::create_directories(fs::path(hostPath).parent_path());
        std::ofstream(hostPath) << "CREG";
    }

    // A profile folder, with or without its hive.
    void Profile(const std::string& name, bool withHive) {
        fs::create_directories(windir_ + "/Profiles/" + name);
        if (withHive) WriteFile(windir_ + "/Profiles/" + name + "/USER.DAT");
    }

    TForm2& Create() {
        platform_ = std::make_unique<platform::offline::OfflinePlatform>();
        platform::Set(platform_.get());
        // The main window's rule: version 4.90 with build 3000 or later.
        platform::OsVersionInfo v;
        bool last = false;
        if (platform_->GetVersionExA(&v)) {
            last = static_cast<std::int32_t>(v.dwMajorVersion) >= 4 &&
                   static_cast<std::int32_t>(v.dwMinorVersion) >= 90 &&
                   static_cast<std::int32_t>(v.dwBuildNumber) >= 3000;
        }
        form_ = std::make_unique<TForm2>(MainWindowLink{last, &startButton_});
        return *form_;
    }

    std::vector<std::string> Entries() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < form_->TargetCount(); ++i) out.push_back(form_->TargetText(i));
        return out;
    }

    std::vector<std::string> Selected() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < form_->TargetCount(); ++i) {
            if (form_->TargetSelected(i)) out.push_back(form_->TargetText(i));
        }
        return out;
    }

    // Opens the dialog modally and runs `step` inside it.
    void Open(std::function<void(TForm2&)> step) {
        ui_.QueueModal([this, step](ui::Form&) { step(*form_); });
        form_->ShowModal();
    }

    std::string root_;
    std::string windir_;
    ui::ScriptUi ui_;
    ui::Form standIn_{StandInDecl()};
    ui::Control& startButton_ = standIn_.Get("btOk");
    std::unique_ptr<platform::offline::OfflinePlatform> platform_;
    std::unique_ptr<TForm2> form_;
};

struct ReleaseCase {
    const char* version;
    std::vector<std::string> entries;
};

class DefaultSelection : public OptionsTest, public ::testing::WithParamInterface<ReleaseCase> {};

TEST_P(DefaultSelection, FixedEntriesAllSelectedWithoutProfiles) {
    setenv("SABREL_VERSION", GetParam().version, 1);
    setenv("SABREL_USER", "alice", 1);
    TForm2& f = Create();
    EXPECT_EQ(Entries(), GetParam().entries);
    EXPECT_EQ(Selected(), GetParam().entries);
    EXPECT_EQ(f.WinDir(), "C:\\WINDOWS");
    EXPECT_TRUE(ui_.Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Releases, DefaultSelection,
                         ::testing::Values(ReleaseCase{"4.0.950", {"SYSTEM.DAT", "USER.DAT"}},
                                           ReleaseCase{"4.10.2222", {"SYSTEM.DAT", "USER.DAT"}},
                                           ReleaseCase{"4.90.3000",
                                                       {"SYSTEM.DAT", "USER.DAT", "CLASSES.DAT"}}));

TEST_F(OptionsTest, ProfileScanListsPlainFoldersWithAHiveAndSelectsTheUsersOwn) {
    setenv("SABREL_VERSION", "4.90.3000", 1);
    setenv("SABREL_USER", "alice", 1);
    Profile("ALICE", true);  // the user's own, in another letter case
    Profile("Other", true);
    Profile("NoHive", false);
    Profile("Hidden", true);
    Profile("Archived", true);
    WriteFile(windir_ + "/Profiles/loose.txt");
    {
        platform::offline::OfflinePlatform p;
        ASSERT_TRUE(p.SetFileAttributesA("C:\\WINDOWS\\Profiles\\Hidden", platform::kAttrHidden));
        ASSERT_TRUE(
            p.SetFileAttributesA("C:\\WINDOWS\\Profiles\\Archived", platform::kAttrArchive));
        ASSERT_EQ(p.GetFileAttributesA("C:\\WINDOWS\\Profiles\\Other"), platform::kAttrDirectory);
    }
    Create();
    const std::vector<std::string> entries = Entries();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(entries.begin(), entries.begin() + 3),
              (std::vector<std::string>{"SYSTEM.DAT", "USER.DAT", "CLASSES.DAT"}));
    EXPECT_EQ(std::set<std::string>(entries.begin() + 3, entries.end()),
              (std::set<std::string>{"Profiles\\ALICE\\USER.DAT", "Profiles\\Other\\USER.DAT"}));
    EXPECT_EQ(Selected(), std::vector<std::string>{"Profiles\\ALICE\\USER.DAT"});
}

TEST_F(OptionsTest, WithoutAMatchingProfileTheFixedEntriesStaySelected) {
    setenv("SABREL_USER", "carol", 1);
    Profile("alice", true);
    Create();
    EXPECT_EQ(Entries(),
              (std::vector<std::string>{"SYSTEM.DAT", "USER.DAT", "Profiles\\alice\\USER.DAT"}));
    EXPECT_EQ(Selected(), (std::vector<std::string>{"SYSTEM.DAT", "USER.DAT"}));
}

TEST_F(OptionsTest, WithoutAUserNameNoProfileIsSelected) {
    Profile("alice", true);
    Create();
    EXPECT_EQ(Selected(), (std::vector<std::string>{"SYSTEM.DAT", "USER.DAT"}));
    EXPECT_EQ(form_->UserName(), "");
}

TEST_F(OptionsTest, DoubleByteNamesAreComparedExactlyOutsideAscii) {
    // "ア" is 83 41 and "ヂ" is 83 61: their trail bytes differ only as the
    // ASCII letters 'A' and 'a' do, yet they are different names.
    // Host names and the environment are UTF-8 (u8 literals); the program
    // sees code page 932.
    Profile(u8"ア", true);
    setenv("SABREL_USER", u8"ヂ", 1);
    Create();
    EXPECT_EQ(Selected(), (std::vector<std::string>{"SYSTEM.DAT", "USER.DAT"}));

    form_.reset();
    setenv("SABREL_USER", u8"ア", 1);
    Create();
    EXPECT_EQ(form_->UserName(), "\x83\x41");
    EXPECT_EQ(Selected(), std::vector<std::string>{"Profiles\\\x83\x41\\USER.DAT"});

    EXPECT_TRUE(SameNameIgnoringAsciiCase("Ab\x83\x41z", "aB\x83\x41Z"));
    EXPECT_FALSE(SameNameIgnoringAsciiCase("\x83\x41", "\x83\x61"));
    EXPECT_FALSE(SameNameIgnoringAsciiCase("abc", "abcd"));
}

TEST_F(OptionsTest, WithoutTheLibraryOnlyCopyBackupIsOffered) {
    TForm2& f = Create();
    EXPECT_EQ(f.lbUnlhaVer.Caption(), kNotFoundLabel);
    EXPECT_TRUE(f.rbBUcopy.Checked());
    EXPECT_FALSE(f.rbBUarc.Checked());
    EXPECT_FALSE(f.rbBUarc.Enabled());
    EXPECT_FALSE(f.cbBUarc_test.Enabled());
    EXPECT_FALSE(f.Archiver().module);
    EXPECT_FALSE(f.RunOptionsNow().archiveBackup);
    Open([this](TForm2& d) {
        ASSERT_TRUE(ui_.SelectPage(d, "pgOption", 2));
        EXPECT_FALSE(ui_.Click(d, "rbBUarc"));
        EXPECT_TRUE(ui_.Click(d, "rbBUcopy") || d.rbBUcopy.Checked());
    });
    EXPECT_FALSE(f.rbBUarc.Enabled());
    EXPECT_FALSE(f.cbBUarc_test.Enabled());
}

TEST_F(OptionsTest, TheLibraryVersionIsShownRightAlignedWithTwoMinorDigits) {
    setenv("SABREL_UNLHA_PATH", FAKE_UNLHA_153, 1);
    TForm2& f = Create();
    EXPECT_EQ(f.lbUnlhaVer.Caption(), " Unlha32.dll version   1.53");
    EXPECT_TRUE(f.Archiver().Usable());
    EXPECT_TRUE(f.rbBUarc.Checked());
    EXPECT_TRUE(f.rbBUarc.Enabled());
    EXPECT_TRUE(f.cbBUarc_test.Enabled());
    f.ReleaseArchiver();
    form_.reset();

    setenv("SABREL_UNLHA_PATH", FAKE_UNLHA_205, 1);
    EXPECT_EQ(Create().lbUnlhaVer.Caption(), " Unlha32.dll version   2.05");
}

bool Loaded(const char* path) {
    void* h = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

TEST_F(OptionsTest, ALibraryMissingAnEntryPointCountsAsNotFoundAndIsLetGo) {
    setenv("SABREL_UNLHA_PATH", FAKE_UNLHA_PARTIAL, 1);
    TForm2& f = Create();
    EXPECT_EQ(f.lbUnlhaVer.Caption(), kNotFoundLabel);
    EXPECT_FALSE(f.Archiver().module);
    EXPECT_FALSE(f.Archiver().getVersion);
    EXPECT_TRUE(f.rbBUcopy.Checked());
    EXPECT_FALSE(f.rbBUarc.Enabled());
    EXPECT_FALSE(Loaded(FAKE_UNLHA_PARTIAL));
}

TEST_F(OptionsTest, TheLibraryIsReleasedOnceAndRecordedAsReleased) {
    setenv("SABREL_UNLHA_PATH", FAKE_UNLHA_153, 1);
    TForm2& f = Create();
    EXPECT_TRUE(Loaded(FAKE_UNLHA_153));
    f.ReleaseArchiver();
    EXPECT_TRUE(f.Archiver().released);
    EXPECT_FALSE(f.Archiver().Usable());
    EXPECT_FALSE(Loaded(FAKE_UNLHA_153));
    f.ReleaseArchiver();  // a second release is no call at all
    EXPECT_TRUE(f.Archiver().released);
}

TEST_F(OptionsTest, OkWithNothingSelectedWarnsAndDisablesTheStartButtonUntilFixed) {
    Create();
    Open([this](TForm2& d) {
        ASSERT_TRUE(ui_.ClickItem(d, "lbRegs", 0));
        ASSERT_TRUE(ui_.ClickItem(d, "lbRegs", 1));
        ui_.QueueAnswer(Answer::Yes);
        ASSERT_TRUE(ui_.Click(d, "btOK"));
    });
    EXPECT_FALSE(form_->Visible());
    EXPECT_EQ(form_->GetModalResult(), ui::ModalResult::Ok);
    EXPECT_FALSE(startButton_.Enabled());
    const std::vector<ui::BoxRecord> boxes = ui_.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Warning);
    EXPECT_EQ(boxes[0].caption, kWarningCaption);
    EXPECT_EQ(boxes[0].text, kNothingSelected);
    EXPECT_EQ(boxes[0].buttons, std::vector<std::string>{kYes});

    Open([this](TForm2& d) {
        ASSERT_TRUE(ui_.ClickItem(d, "lbRegs", 1));
        ASSERT_TRUE(ui_.Click(d, "btOK"));
    });
    EXPECT_TRUE(startButton_.Enabled());
    EXPECT_EQ(Selected(), std::vector<std::string>{"USER.DAT"});
    EXPECT_EQ(ui_.Boxes().size(), 1u);
}

TEST_F(OptionsTest, EnablementRulesNeverChangeAMark) {
    setenv("SABREL_UNLHA_PATH", FAKE_UNLHA_153, 1);
    TForm2& f = Create();
    Open([this](TForm2& d) {
        // Before the rebuild.
        ASSERT_TRUE(ui_.SelectPage(d, "pgOption", 1));
        ASSERT_TRUE(ui_.Click(d, "cbBeforeGhost"));
        ASSERT_TRUE(ui_.Click(d, "cbCheckReg"));
        EXPECT_FALSE(d.cbBeforeGhost.Enabled());
        EXPECT_TRUE(d.cbBeforeGhost.Checked());
        EXPECT_FALSE(ui_.Click(d, "cbBeforeGhost"));
        ASSERT_TRUE(ui_.Click(d, "cbCheckReg"));
        EXPECT_TRUE(d.cbBeforeGhost.Enabled());
        EXPECT_TRUE(d.cbBeforeGhost.Checked());

        // Backup.
        ASSERT_TRUE(ui_.SelectPage(d, "pgOption", 2));
        ASSERT_TRUE(ui_.Click(d, "rbBUcopy"));
        EXPECT_FALSE(d.cbBUarc_test.Enabled());
        EXPECT_TRUE(d.cbBUarc_test.Checked());
        ASSERT_TRUE(ui_.Click(d, "rbBUarc"));
        EXPECT_TRUE(d.cbBUarc_test.Enabled());
        EXPECT_TRUE(d.cbBUarc_test.Checked());

        // After the rebuild.
        ASSERT_TRUE(ui_.SelectPage(d, "pgOption", 3));
        ASSERT_TRUE(ui_.Click(d, "cbIgnoreLost"));
        ASSERT_TRUE(ui_.Click(d, "cbCheckReg2"));
        EXPECT_FALSE(d.cbAfterGhost.Enabled());
        EXPECT_FALSE(d.cbIgnoreLost.Enabled());
        EXPECT_FALSE(d.cbAfterGhost.Checked());
        EXPECT_TRUE(d.cbIgnoreLost.Checked());
        ASSERT_TRUE(ui_.Click(d, "cbCheckReg2"));
        EXPECT_TRUE(d.cbAfterGhost.Enabled());
        EXPECT_TRUE(d.cbIgnoreLost.Enabled());
        EXPECT_TRUE(d.cbIgnoreLost.Checked());

        // The D-Gap box can never be checked.
        EXPECT_FALSE(ui_.Click(d, "cbSweepDGAP"));
        EXPECT_FALSE(d.cbSweepDGAP.Checked());

        ASSERT_TRUE(ui_.Click(d, "btOK"));
    });
    // The tab left in front stays in front at the next showing.
    Open([](TForm2& d) { EXPECT_EQ(d.pgOption.PageIndex(), 3); });
    EXPECT_EQ(f.RunOptionsNow().mode, rebuild::RunMode::RebuildAndBackup);
    EXPECT_EQ(f.RunOptionsNow().end, rebuild::EndOption::Reboot);
}

TEST_F(OptionsTest, RadioGroupsGiveTheRunModeAndTheEndOption) {
    TForm2& f = Create();
    EXPECT_EQ(f.pgOption.PageIndex(), 0);
    Open([this](TForm2& d) {
        ASSERT_TRUE(ui_.Click(d, "rbBckupOnly"));
        ASSERT_TRUE(ui_.SelectPage(d, "pgOption", 4));
        ASSERT_TRUE(ui_.Click(d, "rbSBterm"));
    });
    EXPECT_EQ(f.RunOptionsNow().mode, rebuild::RunMode::BackupOnly);
    EXPECT_FALSE(f.rbRebldBckup.Checked());
    EXPECT_EQ(f.RunOptionsNow().end, rebuild::EndOption::SabrelOnly);
    EXPECT_FALSE(f.rbWinReboot.Checked());
}

TEST_F(OptionsTest, EachBoxReachesItsOwnFieldOfTheSnapshot) {
    TForm2& f = Create();
    using Field = bool rebuild::RunOptions::*;
    const std::vector<std::pair<ui::Control*, Field>> boxes = {
        {&f.cbBUarc_test, &rebuild::RunOptions::testArchive},
        {&f.cbCheckReg, &rebuild::RunOptions::checkBefore},
        {&f.cbBeforeGhost, &rebuild::RunOptions::beforeGhost},
        {&f.cbCheckReg2, &rebuild::RunOptions::checkAfter},
        {&f.cbAfterGhost, &rebuild::RunOptions::afterGhost},
        {&f.cbIgnoreLost, &rebuild::RunOptions::ignoreLost},
        {&f.cbDelFCache, &rebuild::RunOptions::delFontCache},
        {&f.cbDelICache, &rebuild::RunOptions::delIconCache},
    };
    for (const auto& [box, field] : boxes) {
        const rebuild::RunOptions before = f.RunOptionsNow();
        box->SetChecked(!box->Checked());
        const rebuild::RunOptions after = f.RunOptionsNow();
        EXPECT_EQ(after.*field, box->Checked()) << box->Name();
        for (const auto& [other, otherField] : boxes) {
            if (other == box) continue;
            EXPECT_EQ(after.*otherField, before.*otherField) << box->Name();
        }
    }
}

TEST_F(OptionsTest, AnUnreadableWindowsDirectoryIsToldAndEndsTheProgram) {
    unsetenv("SABREL_WINDIR");
    ui_.ExpectBox(BoxKind::Plain, kWinDirFailed, Answer::Ok);
    TForm2& f = Create();
    EXPECT_EQ(ui_.QuitRequests(), 1);
    EXPECT_EQ(f.WinDir(), "");
    EXPECT_EQ(ui_.Boxes().at(0).caption, "Quillmere");
    EXPECT_EQ(Selected(), (std::vector<std::string>{"SYSTEM.DAT", "USER.DAT"}));
}

TEST_F(OptionsTest, AWindowsDirectoryTooLongForItsFieldCountsAsUnreadable) {
    // "C:\" and 122 letters need 126 bytes: one more than the query may fill.
    const std::string longDir = root_ + "/" + std::string(122, 'W');
    fs::create_directories(longDir);
    setenv("SABREL_WINDIR", longDir.c_str(), 1);
    ui_.ExpectBox(BoxKind::Plain, kWinDirFailed, Answer::Ok);
    TForm2& f = Create();
    EXPECT_EQ(f.WinDir(), "");
    EXPECT_EQ(ui_.QuitRequests(), 1);
    form_.reset();

    // 121 letters fit exactly: "C:\" + 121 = 124 characters.
    const std::string fits = root_ + "/" + std::string(121, 'W');
    fs::create_directories(fits);
    setenv("SABREL_WINDIR", fits.c_str(), 1);
    EXPECT_EQ(Create().WinDir(), "C:\\" + std::string(121, 'W'));
    EXPECT_EQ(ui_.Boxes().size(), 1u);
}

TEST_F(OptionsTest, BackupRegBacksUpTheSelectedHivesFromTheControls) {
    WriteFile(windir_ + "/SYSTEM.DAT");
    WriteFile(windir_ + "/USER.DAT");
    TForm2& f = Create();
    Open([this](TForm2& d) {
        ASSERT_TRUE(ui_.ClickItem(d, "lbRegs", 1));  // USER.DAT off
        ASSERT_TRUE(ui_.Click(d, "btOK"));
    });
    f.BackupReg();
    EXPECT_TRUE(fs::exists(windir_ + "/SYSTEM.BEF"));
    EXPECT_FALSE(fs::exists(windir_ + "/USER.BEF"));
    EXPECT_TRUE(fs::exists(windir_ + "/HELP/SBRCOVER.BAT"));
    EXPECT_TRUE(ui_.Boxes().empty());
}

}  // namespace
}  // namespace sabrel::options
