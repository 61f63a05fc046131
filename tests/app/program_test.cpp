// SPDX-License-Identifier: MIT
// The whole program on demo machines, driven through the script backend as a
// user would drive it: start-up, the wizard's pages and timer, the rebuild
// with its checks and stops, the results report, the withdrawal and the end.
#include <algorithm>
#include <cstdio>
#include <regex>

#include "common/texts.h"
#include "tests/app/program_fixture.h"

namespace sabrel::test {
namespace {

using ui::Answer;

// Every key and value of a hive as libcreg reads it.
std::string LibcregDump(const fs::path& hive) {
    std::string cmd = "/usr/bin/python3 " SABREL_CREG_DUMP " '" + hive.string() + "' 2>&1";
    std::string out;
    FILE* f = ::popen(cmd.c_str(), "r");
    if (!f) return "popen failed";
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    ::pclose(f);
    return out;
}

// Host path of a DOS path on drive C: (ASCII paths only).
fs::path HostOf(const fs::path& root, std::string dos) {
    dos = dos.substr(3);
    for (char& c : dos) c = c == '\\' ? '/' : c;
    return root / dos;
}

// Clicks a control of the options dialog, bringing its tab to the front first.
void Tap(ui::ScriptUi& u, ui::Form& options, const std::string& name) {
    ui::Control& pages = options.Get("pgOption");
    for (ui::Control* c = &options.Get(name); c; c = c->Parent()) {
        if (c->Kind() != ui::ControlKind::TabSheet) continue;
        std::vector<ui::Control*> tabs = pages.Pages();
        for (std::size_t i = 0; i < tabs.size(); ++i) {
            if (tabs[i] == c) u.SelectPage(options, "pgOption", static_cast<int>(i));
        }
    }
    EXPECT_TRUE(u.Click(options, name)) << name;
}

// Opens the options dialog and runs `change` on it before its OK.
void WithOptions(ui::ScriptUi& u, app::TForm1& f, std::function<void(ui::Form&)> change) {
    u.QueueModal([&u, change](ui::Form& options) {
        change(options);
        u.Click(options, "btOK");
    });
    ASSERT_TRUE(u.Click(f, "btOption"));
}

TEST_F(ProgramTest, SuccessfulRebuildReplacesEveryHiveAtTheNextStart) {
    tool::MachineOptions o;
    o.me = true;
    o.keys = 700;
    Machine(o);
    const std::vector<std::string> hives = {"SYSTEM", "USER", "CLASSES"};
    std::map<std::string, std::string> dumps;
    std::map<std::string, std::int32_t> keys;
    for (const std::string& h : hives) {
        dumps[h] = LibcregDump(Win(h + ".DAT"));
        ASSERT_NE(dumps[h].find("K "), std::string::npos) << dumps[h];
        hive::HiveChecker c = Check(Win(h + ".DAT"));
        keys[h] = c.result.goodKeys + c.result.badKeys;
        EXPECT_GT(c.result.badKeys + c.result.goodKeys, 50);
    }
    Run([&](app::TForm1& f) {
        EXPECT_TRUE(f.IsLastRelease);
        EXPECT_EQ(app::Form2->SelectedCount(), 3u);
        StartAndWait(f);
        ASSERT_EQ(Page(f), "03");
        for (const std::string& h : hives) {
            EXPECT_LT(fs::file_size(Win(h + ".CLN")), fs::file_size(Win(h + ".DAT"))) << h;
            hive::HiveChecker c = Check(Win(h + ".CLN"));
            EXPECT_EQ(c.status, 0);
            EXPECT_EQ(c.result.goodKeys + c.result.badKeys, keys[h]) << h;
            EXPECT_EQ(c.result.ghostKeys, 0);
            EXPECT_TRUE(fs::exists(Win(h + ".BEF"))) << h;  // the backup came first
        }
        EXPECT_EQ(Read(Win("WININIT.INI")),
                  "[Rename]\r\n"
                  "C:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\SYSTEM.CLN\r\n"
                  "C:\\WINDOWS\\USER.DAT=C:\\WINDOWS\\USER.CLN\r\n"
                  "C:\\WINDOWS\\CLASSES.DAT=C:\\WINDOWS\\CLASSES.CLN\r\n");
        EXPECT_EQ(TickToEnd(f), 20);
        EXPECT_TRUE(ui_->Click(f, "btReboot"));
    });
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(p_->exitWindowsFlags, 2);
    EXPECT_EQ(ui_->QuitRequests(), 1);
    EXPECT_TRUE(fs::exists(Win("WININIT.BAK")));
    for (const std::string& h : hives) {
        EXPECT_FALSE(fs::exists(Win(h + ".CLN"))) << h;
        EXPECT_EQ(LibcregDump(Win(h + ".DAT")), dumps[h]) << h;
    }
}

// The logged-on user's profile, whose folder name holds a space and
// double-byte characters, is the only hive selected; it goes through the run
// by its 8.3 path.
TEST_F(ProgramTest, ProfileHiveWithAJapaneseNameIsRebuiltThroughItsShortPath) {
    tool::MachineOptions o;
    o.user = u8"山田 花子";
    Machine(o);
    const fs::path hive = root / "WINDOWS" / "Profiles" / u8"山田 花子" / "USER.DAT";
    std::string dump = LibcregDump(hive);
    std::string entry;
    Run([&](app::TForm1& f) {
        ASSERT_EQ(app::Form2->SelectedCount(), 1u);
        for (std::size_t i = 0; i < app::Form2->TargetCount(); ++i) {
            if (app::Form2->TargetSelected(i)) entry = app::Form2->TargetText(i);
        }
        StartAndWait(f);
        EXPECT_EQ(Page(f), "03");
        TickToEnd(f);
        ui_->Click(f, "btReboot");
    });
    EXPECT_EQ(entry, "Profiles\\山田 花子\\USER.DAT");
    std::string ini = Read(Win("WININIT.BAK"));
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        ini, m,
        std::regex("\\[Rename\\]\r\n(C:\\\\WINDOWS\\\\PROFILES\\\\[^ \\\\]{1,12}\\\\USER)"
                   "\\.DAT=(.*)\\.CLN\r\n")))
        << ini;
    EXPECT_EQ(m[1].str(), m[2].str());
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_FALSE(fs::exists(hive.parent_path() / "USER.CLN"));
    EXPECT_EQ(LibcregDump(hive), dump);
}

TEST_F(ProgramTest, GhostKeysStopTheRunBeforeAndAfterUnlessOverridden) {
    tool::MachineOptions o;
    o.ghosts = 3;
    Machine(o);
    Run([&](app::TForm1& f) {
        StartAndWait(f);
        EXPECT_EQ(Page(f), "02");
        EXPECT_TRUE(ui_->Click(f, "btFin1"));
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "C:\\WINDOWS\\SYSTEM.DAT\r\n\r\n3 個の幽霊キーを発見しました。\r\n"
                              "再構成作業中にシステムが止まるかもしれません。\r\n\r\n"
                              "　　レジストリの再構成を中止します。"});
    EXPECT_FALSE(fs::exists(Win("SYSTEM.CLN")));

    // Ghost keys before allowed: the rebuilt file carries them too (G2).
    Start();
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "cbBeforeGhost"); });
        StartAndWait(f);
        EXPECT_EQ(Page(f), "02");
        ui_->Click(f, "btFin1");
    });
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{
                  "C:\\WINDOWS\\SYSTEM.DAT\r\n\r\n再構成後、3 個の幽霊キーを発見しました。\r\n"
                  "これを使うと今後のシステム運用に不具合が起こるかもしれません。\r\n\r\n"
                  "　　このレジストリの再構成を中止します。"});
    EXPECT_TRUE(fs::exists(Win("SYSTEM.CLN")));

    // Both allowed: the run completes.
    Start();
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) {
            Tap(*ui_, opt, "cbBeforeGhost");
            Tap(*ui_, opt, "cbAfterGhost");
        });
        StartAndWait(f);
        EXPECT_EQ(Page(f), "03");
        TickToEnd(f);
        EXPECT_FALSE(ui_->Click(f, "btFin1"));  // not on this page
        ui_->QueueAnswer(Answer::No);
        EXPECT_TRUE(ui_->Click(f, "btAbort"));
        EXPECT_TRUE(ui_->Click(f, "btFin1"));
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{texts::kAskDeleteRebuilt});
}

TEST_F(ProgramTest, LostKeysStopTheRunUnlessIgnored) {
    Machine();
    hive::HiveChecker before = Check(Win("SYSTEM.DAT"));
    int sum = before.result.goodKeys + before.result.badKeys;
    // The save delivers a file the checker does not recognise.
    auto spoil = [this](const char* file) {
        std::fstream f(HostOf(root, file), std::ios::in | std::ios::out | std::ios::binary);
        f.write("XXXX", 4);
    };
    p_->afterSave = spoil;
    Run([&](app::TForm1& f) {
        StartAndWait(f);
        EXPECT_EQ(Page(f), "02");
        ui_->Click(f, "btFin1");
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "C:\\WINDOWS\\SYSTEM.DAT\r\n\r\n再構成で " + std::to_string(sum) +
                              " 個のレジストリキーを失いました。\r\n"
                              "これを使うと今後のシステム運用に不具合が起こるかもしれません。"
                              "\r\n\r\n　　このレジストリの再構成を中止します。"});

    Start();
    p_->afterSave = spoil;
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "cbIgnoreLost"); });
        StartAndWait(f);
        EXPECT_EQ(Page(f), "03");
        ui_->Click(f, "btCancel");
    });
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ProgramTest, LeftOverHiveIsUnloadedSilentlyAndAForeignKeyStopsTheRun) {
    Machine();
    ASSERT_EQ(p_->RegLoadKeyA(platform::kHkeyUsers, "MIRONET_SABREL",
                              "C:\\WINDOWS\\Profiles\\Taro\\USER.DAT"),
              0);
    Run([&](app::TForm1& f) {
        StartAndWait(f);
        EXPECT_EQ(Page(f), "03");
    });
    EXPECT_TRUE(BoxTexts().empty());

    fs::remove(Win("WININIT.INI"));
    fs::remove(Win("SYSTEM.CLN"));
    Start();
    ASSERT_EQ(p_->registry().CreatePlainKey("MIRONET_SABREL"), 0);
    Run([&](app::TForm1& f) {
        StartAndWait(f);
        EXPECT_EQ(Page(f), "02");
        ui_->Click(f, "btFin1");
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"再構成に使用するキーと同名のキーが存在します"
                                                   "\r\n　ソフト製作者に連絡して下さい."});
    EXPECT_FALSE(fs::exists(Win("SYSTEM.CLN")));
    EXPECT_FALSE(fs::exists(Win("WININIT.INI")));
    EXPECT_TRUE(fs::exists(Win("SYSTEM.BEF")));
}

TEST_F(ProgramTest, StaleReadOnlyRebuiltFileIsReplaced) {
    Machine();
    { std::ofstream(Win("SYSTEM.CLN")) << "stale"; }
    ASSERT_TRUE(p_->SetFileAttributesA("C:\\WINDOWS\\SYSTEM.CLN",
                                       platform::kAttrReadOnly | platform::kAttrHidden));
    Run([&](app::TForm1& f) {
        StartAndWait(f);
        EXPECT_EQ(Page(f), "03");
    });
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(Check(Win("SYSTEM.CLN")).status, 0);
}

TEST_F(ProgramTest, SecondOfThreeHivesFailingLeavesTheFirstAndTheFinishRemovesIt) {
    tool::MachineOptions o;
    o.me = true;
    Machine(o);
    { std::ofstream(Win("USER.DAT"), std::ios::trunc) << "not a hive at all"; }
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "cbDelFCache"); });
        StartAndWait(f);
        EXPECT_EQ(Page(f), "02");
        EXPECT_EQ(Read(Win("WININIT.INI")),
                  "[Rename]\r\nC:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\SYSTEM.CLN\r\n");
        EXPECT_TRUE(ui_->Click(f, "btFin1"));
    });
    std::vector<std::string> texts = BoxTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(std::regex_match(texts[0], std::regex("USER\\.DAT: .+\\[[0-9]+\\]"))) << texts[0];
    EXPECT_EQ(texts[0].rfind("USER.DAT: ロードできません[", 0), 0u);
    EXPECT_TRUE(fs::exists(Win("SYSTEM.CLN")));
    EXPECT_FALSE(fs::exists(Win("CLASSES.CLN")));
    EXPECT_EQ(Read(Win("WININIT.INI")), "[Rename]\r\n");
}

TEST_F(ProgramTest, NothingSelectedLeavesOnlyOptionsAndCancel) {
    Machine();
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) {
            const ui::Control& list = opt.Get("lbRegs");
            for (std::size_t i = 0; i < list.Count(); ++i) {
                if (list.Marked(i)) ui_->ClickItem(opt, "lbRegs", i);
            }
            ui_->QueueAnswer(Answer::Yes);
        });
        EXPECT_FALSE(f.Get("btOk").Enabled());
        EXPECT_FALSE(ui_->Click(f, "btOk"));
        EXPECT_TRUE(ui_->Click(f, "btCancel"));
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"１つも選択されていません"});
    EXPECT_FALSE(fs::exists(Win("SYSTEM.CLN")));
    EXPECT_FALSE(fs::exists(Win("WININIT.INI")));
}

TEST_F(ProgramTest, BackupOnlyAsksThenBacksUpAndEnds) {
    Machine();
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "rbBckupOnly"); });
        ui_->QueueAnswer(Answer::No);
        EXPECT_TRUE(ui_->Click(f, "btOk"));
        EXPECT_EQ(Page(f), "00");
        EXPECT_FALSE(fs::exists(Win("SYSTEM.BEF")));
        ui_->QueueAnswer(Answer::Yes);
        EXPECT_TRUE(ui_->Click(f, "btOk"));
        EXPECT_EQ(Page(f), "00");
        EXPECT_EQ(f.RunState.load(), rebuild::rsIdle);
    });
    std::vector<std::string> ask(2, texts::kAskBackupOnly);
    ask.push_back("バックアップを完了しました.");
    EXPECT_EQ(BoxTexts(), ask);
    EXPECT_EQ(ui_->QuitRequests(), 1);
    EXPECT_TRUE(fs::exists(Win("SYSTEM.BEF")));
    EXPECT_TRUE(fs::exists(Win("USER.BEF")));
    EXPECT_TRUE(fs::exists(Win("HELP/SBRCOVER.BAT")));
    EXPECT_FALSE(fs::exists(Win("SYSTEM.CLN")));
    EXPECT_FALSE(fs::exists(Win("WININIT.INI")));
}

// An English user: the wizard, the handlers' captions and every box speak
// English; the batch file stays in the Japanese installation's own language.
TEST_F(ProgramTest, InEnglishTheWizardAndItsBoxesSpeakEnglish) {
    texts::ScopedLanguage english(texts::Language::English);
    Machine();
    Run([&](app::TForm1& f) {
        EXPECT_EQ(f.Get("Label5").Caption(), "Registry Rebuild Utility");
        WithOptions(*ui_, f, [&](ui::Form& opt) {
            EXPECT_EQ(opt.Get("rbBckupOnly").Caption(), "Back up only");
            Tap(*ui_, opt, "rbBckupOnly");
            Tap(*ui_, opt, "rbWinTerm");
        });
        EXPECT_EQ(f.Get("Label6").Caption(), " * Windows shuts down after the rebuild. ");
        ui_->QueueAnswer(Answer::Yes);
        EXPECT_TRUE(ui_->Click(f, "btOk"));
    });
    const std::vector<ui::BoxRecord> boxes = ui_->Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Confirm");
    EXPECT_EQ(boxes[0].text, "The registries chosen in Options\r\n\r\nwill only be backed up.");
    EXPECT_EQ(boxes[0].buttons, (std::vector<std::string>{"&Yes", "&No"}));
    EXPECT_EQ(boxes[1].text, "The backup is complete.");
    EXPECT_NE(Read(Win("HELP/SBRCOVER.BAT")).find(texts::kBatchHeader.ja[1]), std::string::npos);
}

TEST_F(ProgramTest, WithdrawalWithYesDeletesTheRebuiltFilesAndTheFinishTheEntries) {
    Machine();
    std::string system = Read(Win("SYSTEM.DAT"));
    Run([&](app::TForm1& f) {
        StartAndWait(f);
        TickToEnd(f);
        ASSERT_TRUE(p_->SetFileAttributesA("C:\\WINDOWS\\USER.CLN",
                                           platform::kAttrReadOnly | platform::kAttrSystem));
        ui_->QueueAnswer(Answer::Yes);
        EXPECT_TRUE(ui_->Click(f, "btAbort"));
        EXPECT_EQ(Page(f), "02");
        EXPECT_FALSE(fs::exists(Win("SYSTEM.CLN")));
        EXPECT_FALSE(fs::exists(Win("USER.CLN")));
        // The deleted rebuilt files are no longer scheduled: a restart at this
        // point (before the finish button) keeps the hives.
        EXPECT_EQ(Read(Win("WININIT.INI")), "[Rename]\r\n");
        EXPECT_TRUE(ui_->Click(f, "btFin1"));
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{texts::kAskDeleteRebuilt});
    EXPECT_EQ(Read(Win("WININIT.INI")), "[Rename]\r\n");
    EXPECT_EQ(Read(Win("SYSTEM.DAT")), system);
    EXPECT_EQ(ui_->QuitRequests(), 1);
}

TEST_F(ProgramTest, WithdrawalWithNoKeepsTheRebuiltFiles) {
    Machine();
    Run([&](app::TForm1& f) {
        StartAndWait(f);
        TickToEnd(f);
        ui_->QueueAnswer(Answer::No);
        EXPECT_TRUE(ui_->Click(f, "btAbort"));
        EXPECT_EQ(Page(f), "02");
        EXPECT_TRUE(ui_->Click(f, "btFin1"));
    });
    EXPECT_TRUE(fs::exists(Win("SYSTEM.CLN")));
    EXPECT_TRUE(fs::exists(Win("USER.CLN")));
    EXPECT_EQ(Read(Win("WININIT.INI")), "[Rename]\r\n");
}

TEST_F(ProgramTest, TimerAnimatesWhileRunningAndRevealsPageThreeTickByTick) {
    Machine();
    std::atomic<bool> release{false};
    p_->beforeLoad = [&release] {
        while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    Run([&](app::TForm1& f) {
        const std::vector<std::string>& frames = f.Get("ilImgLst").Decl().items;
        ASSERT_EQ(frames.size(), 4u);
        EXPECT_TRUE(ui_->Click(f, "btOk"));
        EXPECT_EQ(Page(f), "01");
        EXPECT_EQ(f.Get("imgFld").Image(), "");
        for (int tick = 0; tick < 6; ++tick) {
            EXPECT_TRUE(ui_->Tick(f, "Timer1"));
            EXPECT_EQ(f.Get("imgFld").Image(), frames[tick % 4]) << tick;
            EXPECT_EQ(f.AnimCount, (tick + 1) % 4);
        }
        release = true;
        while (f.RunState.load() == rebuild::rsRunning) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(f.RunState.load(), rebuild::rsDone);
        EXPECT_TRUE(ui_->Tick(f, "Timer1"));
        EXPECT_EQ(Page(f), "03");
        EXPECT_EQ(f.RunState.load(), rebuild::rsRevealing);
        EXPECT_EQ(f.AnimCount, 0);
        for (int tick = 1; tick <= 20; ++tick) {
            EXPECT_FALSE(f.Get("imComplete").Visible() && tick <= 10) << tick;
            EXPECT_TRUE(ui_->Tick(f, "Timer1")) << tick;
            EXPECT_EQ(f.Get("imComplete").Visible(), tick >= 10) << tick;
            EXPECT_EQ(f.Get("btReboot").Visible(), tick >= 10) << tick;
            EXPECT_EQ(f.Get("btAbort").Visible(), tick >= 20) << tick;
        }
        EXPECT_EQ(f.RunState.load(), rebuild::rsIdle);
        EXPECT_FALSE(f.Get("Timer1").Enabled());
        EXPECT_FALSE(ui_->Tick(f, "Timer1"));
        EXPECT_FALSE(ui_->Close(f));  // FormClose refuses
        EXPECT_TRUE(ui_->Click(f, "btCancel") || ui_->Click(f, "btReboot"));
    });
}

// "0," with ',' between groups of three digits, written out independently.
std::string Grouped(std::uintmax_t n) {
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
    return digits;
}

TEST_F(ProgramTest, ResultsReportShowsSizesAndRatiosAndFailsWithoutARebuiltFile) {
    Machine();
    std::vector<std::vector<std::string>> rows;
    std::uintmax_t before = 0, after = 0;
    Run([&](app::TForm1& f) {
        StartAndWait(f);
        TickToEnd(f);
        before = fs::file_size(Win("SYSTEM.DAT"));
        after = fs::file_size(Win("SYSTEM.CLN"));
        for (int twice = 0; twice < 2; ++twice) {
            ui_->QueueModal([&](ui::Form& report) {
                rows = report.Get("lvResult").Rows();
                ui_->Click(report, "btOK");
            });
            EXPECT_TRUE(ui_->DoubleClick(f, "Label7"));
        }
        // A present size of 0: an error box instead of a division.
        std::string system = Read(Win("SYSTEM.DAT"));
        fs::resize_file(Win("SYSTEM.DAT"), 0);
        EXPECT_TRUE(ui_->DoubleClick(f, "Label7"));
        { std::ofstream(Win("SYSTEM.DAT"), std::ios::binary) << system; }
        // A selected hive without its rebuilt file: the general error box.
        // The file comes back before the restart, which would otherwise
        // cost the hive as Windows' own would.
        std::string user = Read(Win("USER.CLN"));
        fs::remove(Win("USER.CLN"));
        EXPECT_TRUE(ui_->DoubleClick(f, "Label7"));
        { std::ofstream(Win("USER.CLN"), std::ios::binary) << user; }
        EXPECT_EQ(Page(f), "03");
        ui_->Click(f, "btReboot");
    });
    EXPECT_EQ(ui_->ModalLog(), (std::vector<std::string>{"Form3", "Form3"}));
    ASSERT_EQ(rows.size(), 4u);  // cleared before each opening
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.2f", 100.0 * static_cast<double>(after) / before);
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"SYSTEM.DAT", Grouped(before), Grouped(after), ratio}));
    EXPECT_GT(before, 999u);  // at least one separator
    EXPECT_EQ(rows[1][0], "USER.DAT");
    EXPECT_EQ(rows[1].size(), 4u);
    EXPECT_EQ(rows[2],
              (std::vector<std::string>{"Profiles\\Taro\\USER.DAT",
                                        Grouped(fs::file_size(Win("Profiles/Taro/USER.DAT")))}));
    EXPECT_EQ(rows[3].size(), 2u);  // not selected: two columns
    std::vector<ui::BoxRecord> boxes = ui_->Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (const ui::BoxRecord& b : boxes) {
        EXPECT_EQ(b.kind, ui::BoxKind::Error);
        EXPECT_EQ(b.caption, "Quillmere");
    }
    EXPECT_EQ(boxes[0].text, texts::kMsgZeroDivide.c_str());
    EXPECT_EQ(boxes[1].text, "I/O ｴﾗｰ (2)");
}

// The sizes are grouped with the user's own separator, from the user's
// hive of the installation.
TEST_F(ProgramTest, ResultsReportGroupsWithTheInstallationsSeparator) {
    Machine();
    hive::CregTree user;
    auto hash = [](const std::string& name) {
        return hive::AsciiNameHash(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
    };
    std::uint32_t k = user.AddKey(0, "Control Panel", hash("Control Panel"));
    k = user.AddKey(k, "International", hash("International"));
    user.AddValue(k, 1, 0, "sThousand", ".");
    fs::remove(Win("USER.DAT"));
    ASSERT_EQ(platform::offline::SaveHiveFile(user, 0, Win("USER.DAT").string()), 0u);
    fs::copy_file(Win("SYSTEM.DAT"), Win("SYSTEM.CLN"));
    fs::copy_file(Win("USER.DAT"), Win("USER.CLN"));
    Start();
    std::vector<std::vector<std::string>> rows;
    Run([&](app::TForm1& f) {
        ui_->QueueModal([&](ui::Form& report) {
            rows = report.Get("lvResult").Rows();
            ui_->Click(report, "btOK");
        });
        f.meBatDblClick();
        ui_->Click(f, "btCancel");
    });
    std::string grouped = Grouped(fs::file_size(Win("SYSTEM.DAT")));
    ASSERT_NE(grouped.find(','), std::string::npos);
    std::replace(grouped.begin(), grouped.end(), ',', '.');
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0][0], "SYSTEM.DAT");
    EXPECT_EQ(rows[0][1], grouped);
    EXPECT_EQ(rows[0][2], grouped);
}

TEST_F(ProgramTest, RefusedRestartIsReportedAndTheProgramEnds) {
    Machine();
    p_->refuseExitWindows = true;
    Run([&](app::TForm1& f) {
        StartAndWait(f);
        TickToEnd(f);
        EXPECT_TRUE(ui_->Click(f, "btReboot"));
        EXPECT_FALSE(f.Get("btReboot").Enabled());
        EXPECT_FALSE(f.Get("btAbort").Enabled());
    });
    EXPECT_EQ(p_->exitWindowsFlags, 2);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{texts::kMsgCannotReboot});
    EXPECT_EQ(ui_->QuitRequests(), 1);
    EXPECT_TRUE(fs::exists(Win("SYSTEM.CLN")));  // nothing was carried out

    // Shut down, refused; end only this program: no request at all.
    Start();
    p_->refuseExitWindows = true;
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "rbWinTerm"); });
        EXPECT_EQ(f.Get("Label6").Caption(), "　※レジストリを再構成した後、ｼｬｯﾄﾀﾞｳﾝします.　");
        EXPECT_EQ(f.Get("btReboot").Caption(), "このボタンを押すとｼｬｯﾄﾀﾞｳﾝします");
        StartAndWait(f);
        TickToEnd(f);
        ui_->Click(f, "btReboot");
    });
    EXPECT_EQ(p_->exitWindowsFlags, 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{texts::kMsgCannotShutdown});
    Start();
    Run([&](app::TForm1& f) {
        // Back to restart and on to end only this program: each choice sets
        // both captions afresh.
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "rbWinTerm"); });
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "rbWinReboot"); });
        EXPECT_EQ(f.Get("Label6").Caption(), "　※レジストリを再構成した後、再起動します.　");
        EXPECT_EQ(f.Get("btReboot").Caption(), "このボタンを押すと再起動します");
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "rbSBterm"); });
        EXPECT_EQ(f.Get("Label6").Caption(), "　※レジストリを再構成します.　");
        EXPECT_EQ(f.Get("btReboot").Caption(), "Sabrel を終了します");
        StartAndWait(f);
        TickToEnd(f);
        ui_->Click(f, "btReboot");
    });
    EXPECT_EQ(p_->exitWindowsFlags, -1);
    EXPECT_EQ(ui_->QuitRequests(), 1);
}

// The build field is compared whole and signed: on this family its high word
// holds major and minor version, so a packed 4.90 passes whatever its low
// word says, and only a plain build number below 3000 fails.
TEST_F(ProgramTest, LastReleaseComparesTheWholeSignedBuildField) {
    Machine();
    ::setenv("SABREL_VERSION", "4.90.3000", 1);
    const struct {
        platform::DWORD build;
        bool last;
    } cases[] = {
        {2999, false},      {3000, true},       {0x045A0BB7, true},  {0x00010BB7, true},
        {0x00010000, true}, {0x7FFFFFFF, true}, {0x80000BB8, false}, {0xFFFFFFFF, false},
    };
    for (const auto& c : cases) {
        Start();
        p_->buildField = c.build;
        Run([&](app::TForm1& f) {
            EXPECT_EQ(f.IsLastRelease, c.last) << std::hex << c.build;
            ui_->Click(f, "btCancel");
        });
    }
    // The minor version decides between releases of the family.
    ::setenv("SABREL_VERSION", "4.10.3000", 1);
    Start();
    p_->buildField = 0x040A0BB8;
    Run([&](app::TForm1& f) {
        EXPECT_FALSE(f.IsLastRelease);
        ui_->Click(f, "btCancel");
    });
}

TEST_F(ProgramTest, StartUpChecksAndTheSingleInstance) {
    Machine();
    ::setenv("SABREL_PLATFORM", "2", 1);
    ::setenv("SABREL_VERSION", "4.90.3000", 1);
    Start();
    Run([&](app::TForm1& f) {
        EXPECT_EQ(Page(f), "00");
        EXPECT_EQ(f.BackColor(), ui::kBlack);
        EXPECT_FALSE(f.Get("btOk").Enabled());
        EXPECT_FALSE(f.Get("btOption").Enabled());
        EXPECT_TRUE(f.IsLastRelease);
        EXPECT_EQ(f.WinDirText(), "C:\\WINDOWS");
        EXPECT_TRUE(ui_->Click(f, "btCancel"));
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{texts::kMsgNotWin9x});
    EXPECT_EQ(ui_->AppTitle(), "Quillmere");

    ::setenv("SABREL_PLATFORM", "1", 1);
    ::setenv("SABREL_VERSION", "4.10.2222", 1);
    Start();
    Run([&](app::TForm1& f) {
        EXPECT_FALSE(f.IsLastRelease);
        EXPECT_TRUE(f.Get("btOk").Enabled());
        EXPECT_EQ(f.Get("Label6").Caption(), texts::kLabel6Reboot.c_str());
        ui_->Click(f, "btCancel");
    });
    EXPECT_TRUE(BoxTexts().empty());

    // The version query fails: one message, and OK and Option... disabled.
    Start();
    p_->refuseVersion = true;
    Run([&](app::TForm1& f) {
        EXPECT_FALSE(f.Get("btOk").Enabled());
        EXPECT_FALSE(f.Get("btOption").Enabled());
        EXPECT_TRUE(f.Get("btCancel").Enabled());
        ui_->Click(f, "btCancel");
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{texts::kMsgVersionUnknown});

    // A Windows directory longer than the 125 characters given to the query
    // is a failed query, not a cut path; the options dialog then ends the
    // program before the loop.
    std::string longName(130, 'W');
    fs::rename(root / "WINDOWS", root / longName);
    Start(longName);
    bool ran = false;
    Run([&](app::TForm1&) { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(2, texts::kMsgWinDirFailed));
    EXPECT_EQ(ui_->QuitRequests(), 1);
    fs::rename(root / longName, root / "WINDOWS");
    // The longest one the query holds, 124 characters, is taken.
    const std::string longest(121, 'W');
    fs::rename(root / "WINDOWS", root / longest);
    Start(longest);
    ran = false;
    Run([&](app::TForm1& f) {
        ran = true;
        EXPECT_EQ(f.WinDirText(), "C:\\" + longest);
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(BoxTexts().empty());
    fs::rename(root / longest, root / "WINDOWS");

    // A second copy ends silently, before any window.
    Start();
    platform::offline::OfflinePlatform first;
    first.ClaimInstance("Quillmere");
    bool looped = false;
    EXPECT_EQ(Run([&](app::TForm1&) { looped = true; }), 0);
    EXPECT_FALSE(looped);
    EXPECT_TRUE(ui_->ShowLog().empty());
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(ui_->QuitRequests(), 1);

    // So does one with its own runtime folder on the same installation.
    ::setenv("SABREL_RUNTIME_DIR", (root / "run2").c_str(), 1);
    Start();
    looped = false;
    EXPECT_EQ(Run([&](app::TForm1&) { looped = true; }), 0);
    EXPECT_FALSE(looped);
    EXPECT_TRUE(BoxTexts().empty());
}

// The Linux program without an installation to work on: SABREL_WINDIR unset,
// naming no folder, or an empty one. One message, no window, and nothing
// written there (no HELP\SBRCOVER.BAT in the empty folder).
TEST_F(ProgramTest, OfflineWithoutAnInstallationSaysSoOnceAndWritesNothing) {
    fs::create_directories(root / "EMPTY");
    for (const char* windows : {"", "MISSING", "EMPTY"}) {
        Start(windows);
        if (!*windows) {
            ::unsetenv("SABREL_WINDIR");
            platform::Set(nullptr);
            p_ = std::make_unique<HookedPlatform>();
            platform::Set(p_.get());
        }
        bool looped = false;
        EXPECT_EQ(Run([&](app::TForm1& f) {
                      looped = true;
                      StartAndWait(f);
                      ui_->Click(f, "btFin1");
                  }),
                  1)
            << windows;
        EXPECT_FALSE(looped);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{texts::kMsgNoInstallation});
        EXPECT_EQ(ui_->QuitRequests(), 1);
    }
    EXPECT_TRUE(fs::is_empty(root / "EMPTY"));
    EXPECT_FALSE(fs::exists(root / "MISSING"));

    // The Windows program trusts the running system's directory: the main
    // window opens and its own start-up checks apply.
    Start("EMPTY");
    bool looped = false;
    Run(
        [&](app::TForm1& f) {
            looped = true;
            ui_->Click(f, "btCancel");
        },
        app::Host::Windows);
    EXPECT_TRUE(looped);
}

// No worker thread could be started: the user is told, and the run counts as
// stopped rather than leaving the running page up for good.
TEST_F(ProgramTest, WorkerThatCannotStartLeadsToTheStoppedPage) {
    Machine();
    p_->refuseThreads = true;
    Run([&](app::TForm1& f) {
        EXPECT_TRUE(ui_->Click(f, "btOk"));
        EXPECT_EQ(Page(f), "01");
        EXPECT_TRUE(ui_->Tick(f, "Timer1"));
        EXPECT_EQ(Page(f), "02");
        EXPECT_FALSE(f.Get("btReboot").Visible());
        ui_->Click(f, "btFin1");
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"再構成を開始できません[8]"});
    EXPECT_FALSE(fs::exists(Win("SYSTEM.BEF")));
}

TEST_F(ProgramTest, FailuresRaisedToTheWorkerEndTheProgramWithExitCodeOne) {
    Machine();
    fs::create_directories(Win("WININIT.INI"));  // no file can be written there
    Run([&](app::TForm1& f) {
        ASSERT_TRUE(ui_->Click(f, "btOk"));
        ASSERT_TRUE(WaitForExit());
        EXPECT_EQ(f.RunState.load(), rebuild::rsRunning);
        EXPECT_TRUE(ui_->Tick(f, "Timer1"));
        EXPECT_EQ(Page(f), "01");
    });
    EXPECT_EQ(exitCode.load(), 1);
    std::vector<ui::BoxRecord> boxes = ui_->Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ui::BoxKind::Error);
    EXPECT_EQ(boxes[0].caption, "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ");
    EXPECT_EQ(boxes[0].text, "C:\\WINDOWS\\WININIT.INI に書き込めません");
    // The refusal comes at the first hive, when its earlier entry is to be
    // withdrawn, before any rebuilt file is made or removed.
    EXPECT_FALSE(fs::exists(Win("SYSTEM.CLN")));

    // The backup's batch file cannot be written: the same end, before any hive.
    fs::remove(Win("WININIT.INI"));
    fs::remove(Win("SYSTEM.CLN"));
    fs::remove_all(Win("HELP"));
    { std::ofstream(Win("HELP")) << "a file where the folder should be"; }
    exitCode = -1;
    Start();
    Run([&](app::TForm1& f) {
        ASSERT_TRUE(ui_->Click(f, "btOk"));
        ASSERT_TRUE(WaitForExit());
    });
    ASSERT_EQ(ui_->Boxes().size(), 1u);
    EXPECT_EQ(ui_->Boxes()[0].caption, "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ");
    EXPECT_NE(ui_->Boxes()[0].text.find("SBRCOVER.BAT に書き込めません"), std::string::npos);
    EXPECT_FALSE(fs::exists(Win("SYSTEM.CLN")));

    // On the backup-only path the error is shown under the application's title
    // and the program goes on to its end, without claiming a completed backup.
    Start();
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "rbBckupOnly"); });
        ui_->QueueAnswer(Answer::Yes);
        EXPECT_TRUE(ui_->Click(f, "btOk"));
    });
    std::vector<ui::BoxRecord> seen = ui_->Boxes();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].kind, ui::BoxKind::Error);
    EXPECT_EQ(seen[1].caption, "Quillmere");
    EXPECT_EQ(ui_->QuitRequests(), 1);
}

TEST_F(ProgramTest, ReplacementEntriesMeetOtherEntriesAndTheCaches) {
    Machine();
    const std::string foreign =
        "[Rename]\r\nNUL=C:\\WINDOWS\\TEMP\\OLD.TMP\r\n"
        "C:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\ELSE.DAT\r\n"
        "C:\\WINDOWS\\TTFCACHE.BEF=C:\\WINDOWS\\TTFCACHE\r\n";
    { std::ofstream(Win("WININIT.INI"), std::ios::binary) << foreign; }
    // An earlier run's entry is withdrawn before its hive is rebuilt and
    // written anew once the rebuilt file has passed; other keys stay; the
    // cache entries come last, font before icon.
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) {
            Tap(*ui_, opt, "cbDelICache");
            Tap(*ui_, opt, "cbDelFCache");
        });
        StartAndWait(f);
        ASSERT_EQ(Page(f), "03");
        EXPECT_EQ(Read(Win("WININIT.INI")),
                  "[Rename]\r\nNUL=C:\\WINDOWS\\TEMP\\OLD.TMP\r\n"
                  "C:\\WINDOWS\\TTFCACHE.BEF=C:\\WINDOWS\\TTFCACHE\r\n"
                  "C:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\SYSTEM.CLN\r\n"
                  "C:\\WINDOWS\\USER.DAT=C:\\WINDOWS\\USER.CLN\r\n"
                  "C:\\WINDOWS\\SHELLI~1.BEF=C:\\WINDOWS\\SHELLI~1\r\n");
        TickToEnd(f);
        ui_->QueueAnswer(Answer::No);
        ui_->Click(f, "btAbort");
        ui_->Click(f, "btFin1");
    });
    // Withdrawn: the program's keys go, the foreign one stays.
    EXPECT_EQ(Read(Win("WININIT.INI")), "[Rename]\r\nNUL=C:\\WINDOWS\\TEMP\\OLD.TMP\r\n");

    // With the font cache option off, a font cache entry another program
    // wrote stays, while the icon cache's own entry is withdrawn with the
    // hives'; a restart then carries out the section and sets the caches aside.
    { std::ofstream(Win("WININIT.INI"), std::ios::binary) << foreign; }
    Start();
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "cbDelICache"); });
        StartAndWait(f);
        EXPECT_NE(Read(Win("WININIT.INI")).find("SHELLI~1"), std::string::npos);
        TickToEnd(f);
        ui_->QueueAnswer(Answer::No);
        ui_->Click(f, "btAbort");
        ui_->Click(f, "btFin1");
    });
    EXPECT_EQ(Read(Win("WININIT.INI")),
              "[Rename]\r\nNUL=C:\\WINDOWS\\TEMP\\OLD.TMP\r\n"
              "C:\\WINDOWS\\TTFCACHE.BEF=C:\\WINDOWS\\TTFCACHE\r\n");
    Start();
    Run([&](app::TForm1& f) {
        WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "cbDelICache"); });
        StartAndWait(f);
        TickToEnd(f);
        ui_->Click(f, "btReboot");
    });
    EXPECT_EQ(p_->GetFileAttributesA("C:\\WINDOWS\\ttfCache"), platform::kInvalidFileAttributes);
    EXPECT_NE(p_->GetFileAttributesA("C:\\WINDOWS\\TTFCACHE.BEF"),
              platform::kInvalidFileAttributes);
    EXPECT_EQ(p_->GetFileAttributesA("C:\\WINDOWS\\ShellIconCache"),
              platform::kInvalidFileAttributes);
    EXPECT_NE(p_->GetFileAttributesA("C:\\WINDOWS\\SHELLI~1.BEF"),
              platform::kInvalidFileAttributes);
}

#ifdef SABREL_TEST_UNLHA
// With the archiver library loaded: archive backups, and one release of the
// library over the program's life, whichever way it ends.
TEST_F(ProgramTest, ArchiverLibraryIsReleasedExactlyOnce) {
    ::setenv("SABREL_UNLHA_PATH", SABREL_TEST_UNLHA, 1);
    Machine();
    Run([&](app::TForm1& f) {
        ASSERT_NE(app::Form2->Archiver().module, nullptr);
        StartAndWait(f);
        EXPECT_EQ(Page(f), "03");
        EXPECT_EQ(p_->freedLibraries.load(), 1);
        TickToEnd(f);
        ui_->QueueAnswer(Answer::No);
        ui_->Click(f, "btAbort");
        ui_->Click(f, "btFin1");
    });
    EXPECT_EQ(p_->freedLibraries.load(), 1);
    EXPECT_TRUE(fs::exists(Win("SYSTEMBU.EXE")));
    EXPECT_FALSE(fs::exists(Win("SYSTEMBU.LZH")));

    const std::vector<std::function<void(app::TForm1&)>> ways = {
        [&](app::TForm1& f) {  // a stopped run, then the finish button
            ASSERT_EQ(p_->registry().CreatePlainKey("MIRONET_SABREL"), 0);
            StartAndWait(f);
            EXPECT_EQ(p_->freedLibraries.load(), 0);
            ui_->Click(f, "btFin1");
        },
        [&](app::TForm1& f) { ui_->Click(f, "btCancel"); },
        [&](app::TForm1& f) {
            WithOptions(*ui_, f, [&](ui::Form& opt) { Tap(*ui_, opt, "rbBckupOnly"); });
            ui_->QueueAnswer(Answer::Yes);
            ui_->Click(f, "btOk");
        },
    };
    for (const auto& way : ways) {
        Start();
        Run(way);
        EXPECT_EQ(p_->freedLibraries.load(), 1);
        EXPECT_EQ(ui_->QuitRequests(), 1);
    }
}
#endif

TEST(ReportFormat, ThousandsAndRatio) {
    EXPECT_EQ(app::FormatThousands(0, ","), "0");
    EXPECT_EQ(app::FormatThousands(999, ","), "999");
    EXPECT_EQ(app::FormatThousands(2000000, ","), "2,000,000");
    EXPECT_EQ(app::FormatThousands(1234567, "."), "1.234.567");
    EXPECT_EQ(app::FormatRatio(1234567.0L / 2000000 * 100), "61.73");
    EXPECT_EQ(app::FormatRatio(750000.0L / 1000000 * 100), "75.00");
    EXPECT_EQ(app::FormatRatio(1012000.0L / 1000000 * 100), "101.20");
    // Decimal ties round up even where the binary quotient falls just below.
    EXPECT_EQ(app::FormatRatio(300500.0L / 400000 * 100), "75.13");
    EXPECT_EQ(app::FormatRatio(1.0L / 800 * 100), "0.13");
    EXPECT_EQ(app::FormatRatio(99.995L), "100.00");
    EXPECT_EQ(app::FormatRatio(0.0L), "0.00");
    EXPECT_EQ(app::FormatRatio(12345678.0L), "12345678.00");
}

}  // namespace
}  // namespace sabrel::test
