// SPDX-License-Identifier: MIT
// The rebuild worker against an in-memory platform: the order of its steps,
// the decision table of the checks, every stop message with its exact lines,
// and the handler of last resort.
#include "rebuild/worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <stdexcept>
#include <thread>

#include "common/errors.h"
#include "tests/rebuild/fake_platform.h"
#include "tests/rebuild/recording_ui.h"

namespace sabrel::test {
namespace {

using rebuild::CheckCounts;
using rebuild::RebuildJob;

class WorkerTest : public ::testing::Test {
  protected:
    // Also called again inside a test to start a second scenario afresh.
    void SetUp() override {
        p = FakePlatform();
        u.Clear();
        job = RebuildJob();
        counts.clear();
        checkedPaths.clear();
        exitCodes.clear();
        backups = releases = 0;
        platform::Set(&p);
        ui::Set(&u);
        p.AddFile("C:\\WINDOWS\\SYSTEM.DAT", 2000);
        p.AddFile("C:\\WINDOWS\\USER.DAT", 1000);
        p.AddFile("C:\\WINDOWS\\CLASSES.DAT", 500);
        p.AddFile("C:\\WINDOWS\\Profiles\\山田 太郎\\USER.DAT", 900);
        p.shortNames["C:\\WINDOWS\\Profiles\\山田 太郎\\USER.DAT"] =
            "C:\\WINDOWS\\PROFILES\\山田太~1\\USER.DAT";
        job.inputs.winDir = "C:\\WINDOWS";
        job.inputs.targets = {{"SYSTEM.DAT", true}, {"USER.DAT", true}, {"CLASSES.DAT", false}};
        rebuild::RunOptions& o = job.inputs.options;
        o.mode = rebuild::RunMode::RebuildAndBackup;
        o.checkBefore = true;
        o.checkAfter = true;
        job.hooks.backup = [this] { ++backups; };
        job.hooks.releaseArchiver = [this] { ++releases; };
        job.hooks.checkHive = [this](const std::string& path) {
            checkedPaths.push_back(path);
            auto it = counts.find(path);
            return it == counts.end() ? CheckCounts{10, 0, 0} : it->second;
        };
        job.hooks.exitProcess = [this](platform::UINT code) { exitCodes.push_back(code); };
        state = rebuild::rsRunning;
        job.runState = &state;
    }
    void TearDown() override {
        platform::Set(nullptr);
        ui::Set(nullptr);
    }

    // Runs on this thread; returns the final run state.
    std::int32_t Run() {
        rebuild::RunRebuild(job);
        return state.load();
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> t;
        for (const Box& b : u.boxes()) t.push_back(b.text);
        return t;
    }
    std::vector<std::string> RenameKeys() {
        std::vector<std::string> keys;
        for (const IniWrite& w : p.iniWrites) {
            if (!w.remove) keys.push_back(w.key + "=" + w.value);
        }
        return keys;
    }

    FakePlatform p;
    RecordingUi u;
    RebuildJob job;
    rebuild::RunState state{0};
    std::map<std::string, CheckCounts> counts;
    std::vector<std::string> checkedPaths;
    std::vector<platform::UINT> exitCodes;
    int backups = 0, releases = 0;
};

TEST_F(WorkerTest, SuccessfulRunSchedulesEveryHiveInOrder) {
    EXPECT_EQ(Run(), rebuild::rsDone);
    EXPECT_TRUE(u.boxes().empty());
    EXPECT_EQ(backups, 1);
    EXPECT_EQ(releases, 1);
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\SYSTEM.CLN"));
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\USER.CLN"));
    EXPECT_FALSE(p.Has("C:\\WINDOWS\\CLASSES.CLN"));
    EXPECT_EQ(RenameKeys(),
              (std::vector<std::string>{"C:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\SYSTEM.CLN",
                                        "C:\\WINDOWS\\USER.DAT=C:\\WINDOWS\\USER.CLN"}));
    for (const IniWrite& w : p.iniWrites) {
        EXPECT_EQ(w.section, "Rename");
        EXPECT_EQ(w.file, "C:\\WINDOWS\\WININIT.INI");
    }
    // Pre-flight probe (full access, then read), then load, save, unload per hive.
    EXPECT_EQ(p.calls,
              (std::vector<std::string>{"open-all", "open-read", "load C:\\WINDOWS\\SYSTEM.DAT",
                                        "open-all", "save C:\\WINDOWS\\SYSTEM.CLN", "close",
                                        "unload", "load C:\\WINDOWS\\USER.DAT", "open-all",
                                        "save C:\\WINDOWS\\USER.CLN", "close", "unload"}));
    EXPECT_EQ(checkedPaths,
              (std::vector<std::string>{"C:\\WINDOWS\\SYSTEM.DAT", "C:\\WINDOWS\\SYSTEM.CLN",
                                        "C:\\WINDOWS\\USER.DAT", "C:\\WINDOWS\\USER.CLN"}));
}

TEST_F(WorkerTest, ProfileHiveGoesByItsShortPathAfterTheLongCheck) {
    job.inputs.targets = {{"Profiles\\山田 太郎\\USER.DAT", true}};
    counts["C:\\WINDOWS\\PROFILES\\山田太~1\\USER.CLN"] = {0, 0, 2};
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_EQ(checkedPaths.front(), "C:\\WINDOWS\\Profiles\\山田 太郎\\USER.DAT");
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "C:\\WINDOWS\\PROFILES\\山田太~1\\USER.DAT\r\n\r\n"
                           "再構成後、2 個の幽霊キーを発見しました。\r\n"
                           "これを使うと今後のシステム運用に不具合が起こるかもしれません。\r\n\r\n"
                           "　　このレジストリの再構成を中止します。"}));
    for (const Box& b : u.boxes()) EXPECT_EQ(b.caption, "Quillmere");
}

TEST_F(WorkerTest, RebuildOnlyModeMakesNoBackup) {
    job.inputs.options.mode = rebuild::RunMode::RebuildOnly;
    EXPECT_EQ(Run(), rebuild::rsDone);
    EXPECT_EQ(backups, 0);
}

TEST_F(WorkerTest, GhostKeysBeforeStopTheRunUnlessOverridden) {
    counts["C:\\WINDOWS\\USER.DAT"] = {10, 0, 3};
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "C:\\WINDOWS\\USER.DAT\r\n\r\n3 個の幽霊キーを発見しました。\r\n"
                           "再構成作業中にシステムが止まるかもしれません。\r\n\r\n"
                           "　　レジストリの再構成を中止します。"}));
    // The first hive stays done; the failing one was not touched.
    EXPECT_EQ(RenameKeys().size(), 1u);
    EXPECT_FALSE(p.Has("C:\\WINDOWS\\USER.CLN"));
    EXPECT_EQ(releases, 0);

    // Overridden: and the ghost option after does not govern the test before.
    SetUp();
    counts["C:\\WINDOWS\\USER.DAT"] = {10, 0, 3};
    job.inputs.options.beforeGhost = true;
    EXPECT_EQ(Run(), rebuild::rsDone);
}

TEST_F(WorkerTest, GhostKeysAfterAreGovernedByTheAfterOptionAlone) {
    counts["C:\\WINDOWS\\SYSTEM.CLN"] = {10, 0, 1};
    job.inputs.options.beforeGhost = true;
    EXPECT_EQ(Run(), rebuild::rsAborted);
    ASSERT_EQ(u.boxes().size(), 1u);
    EXPECT_EQ(Texts()[0].substr(0, 25), "C:\\WINDOWS\\SYSTEM.DAT\r\n\r\n");
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\SYSTEM.CLN"));  // the failing hive's own save stays
    EXPECT_TRUE(RenameKeys().empty());

    SetUp();
    counts["C:\\WINDOWS\\SYSTEM.CLN"] = {10, 0, 1};
    job.inputs.options.afterGhost = true;
    EXPECT_EQ(Run(), rebuild::rsDone);
}

TEST_F(WorkerTest, LostKeysStopTheRunWithTheSignedDifference) {
    counts["C:\\WINDOWS\\SYSTEM.DAT"] = {10, 2, 5};
    job.inputs.options.beforeGhost = true;
    counts["C:\\WINDOWS\\SYSTEM.CLN"] = {7, 1, 0};
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{
                  "C:\\WINDOWS\\SYSTEM.DAT\r\n\r\n再構成で 4 個のレジストリキーを失いました。\r\n"
                  "これを使うと今後のシステム運用に不具合が起こるかもしれません。\r\n\r\n"
                  "　　このレジストリの再構成を中止します。"}));

    // More keys after than before (an unrecognised live hive) also stops.
    SetUp();
    counts["C:\\WINDOWS\\SYSTEM.DAT"] = {0, 0, 0};
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_NE(Texts()[0].find("再構成で -10 個"), std::string::npos);
}

TEST_F(WorkerTest, LostKeyTestPassesEqualSumsAndNeedsBothChecks) {
    counts["C:\\WINDOWS\\SYSTEM.DAT"] = {9, 1, 0};
    counts["C:\\WINDOWS\\SYSTEM.CLN"] = {10, 0, 0};  // traded places
    EXPECT_EQ(Run(), rebuild::rsDone);

    SetUp();
    counts["C:\\WINDOWS\\SYSTEM.CLN"] = {0, 0, 0};
    job.inputs.options.ignoreLost = true;
    EXPECT_EQ(Run(), rebuild::rsDone);

    SetUp();
    counts["C:\\WINDOWS\\SYSTEM.CLN"] = {0, 0, 0};
    counts["C:\\WINDOWS\\SYSTEM.DAT"] = {10, 0, 9};
    job.inputs.options.checkBefore = false;  // no before counts, no ghost test before
    EXPECT_EQ(Run(), rebuild::rsDone);
    EXPECT_EQ(checkedPaths.size(), 2u);

    SetUp();
    counts["C:\\WINDOWS\\SYSTEM.CLN"] = {0, 0, 9};
    job.inputs.options.checkAfter = false;
    EXPECT_EQ(Run(), rebuild::rsDone);
    EXPECT_EQ(checkedPaths.size(), 2u);
}

TEST_F(WorkerTest, LeftOverHiveIsUnloadedSilently) {
    p.tempKey = FakePlatform::TempKey::Loaded;
    p.refuseAllAccess = true;
    EXPECT_EQ(Run(), rebuild::rsDone);
    EXPECT_TRUE(u.boxes().empty());
    EXPECT_EQ(std::vector<std::string>(p.calls.begin(), p.calls.begin() + 4),
              (std::vector<std::string>{"open-all", "open-read", "close", "unload"}));
}

TEST_F(WorkerTest, ForeignKeyStopsTheRunBeforeAnyHive) {
    p.tempKey = FakePlatform::TempKey::Foreign;
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"再構成に使用するキーと同名のキーが存在します\r\n"
                                                 "　ソフト製作者に連絡して下さい."}));
    EXPECT_EQ(backups, 1);  // the backup came first
    EXPECT_TRUE(checkedPaths.empty());
    EXPECT_TRUE(p.iniWrites.empty());
    EXPECT_FALSE(p.Has("C:\\WINDOWS\\SYSTEM.CLN"));
}

TEST_F(WorkerTest, StaleRebuiltFileIsReplacedUnlessItSurvivesDeletion) {
    p.AddFile("C:\\WINDOWS\\SYSTEM.CLN", 7, kAttrReadOnly | kAttrHidden | kAttrSystem);
    EXPECT_EQ(Run(), rebuild::rsDone);
    EXPECT_EQ(p.files["C:\\WINDOWS\\SYSTEM.CLN"].size, 1000u);

    SetUp();
    p.AddFile("C:\\WINDOWS\\USER.CLN", 7);
    p.undeletable.insert("C:\\WINDOWS\\USER.CLN");
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"C:\\WINDOWS\\USER.CLN を削除できませんでした"}));

    // Message D names the file by its long form, not by the 8.3 form the run
    // goes on with.
    SetUp();
    const std::string taro = "C:\\WINDOWS\\Profiles\\Taro Yamada\\USER";
    p.AddFile(taro + ".DAT");
    p.AddFile(taro + ".CLN", 7);
    p.undeletable.insert(taro + ".CLN");
    job.inputs.targets = {{"Profiles\\Taro Yamada\\USER.DAT", true}};
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_EQ(Texts(), std::vector<std::string>{taro + ".CLN を削除できませんでした"});
}

// An entry for SYSTEM.DAT left by an earlier start: Windows would delete the
// hive and find nothing to move in if the entry outlived the old rebuilt file,
// or take a new one that failed its checks. Wherever the run stops, the entry
// is gone, and it went before the old file did.
TEST_F(WorkerTest, EarlierEntryGoesBeforeTheStaleRebuiltFileWhereverTheRunStops) {
    const std::string unschedule = "unschedule C:\\WINDOWS\\SYSTEM.DAT";
    const std::string deleteStale = "delete C:\\WINDOWS\\SYSTEM.CLN";
    std::vector<std::function<void()>> stops = {
        [this] { p.loadError = 1009; }, [this] { p.saveError = 112; },
        [this] {
            counts["C:\\WINDOWS\\SYSTEM.CLN"] = {10, 0, 1};
        },  // ghost keys after
    };
    for (bool stale : {true, false}) {
        for (const auto& stop : stops) {
            SetUp();
            p.rename["C:\\WINDOWS\\SYSTEM.DAT"] = "C:\\WINDOWS\\SYSTEM.CLN";
            if (stale) p.AddFile("C:\\WINDOWS\\SYSTEM.CLN", 7);
            stop();
            EXPECT_EQ(Run(), rebuild::rsAborted);
            EXPECT_TRUE(p.rename.empty());
            auto at = [this](const std::string& op) {
                return std::find(p.ops.begin(), p.ops.end(), op) - p.ops.begin();
            };
            if (stale) {
                EXPECT_LT(at(unschedule), at(deleteStale));
            }
        }
    }

    // Without a short path there is no key to find the entry by: the stale
    // file is not touched, so entry and file stay together.
    SetUp();
    p.rename["C:\\WINDOWS\\SYSTEM.DAT"] = "C:\\WINDOWS\\SYSTEM.CLN";
    p.AddFile("C:\\WINDOWS\\SYSTEM.CLN", 7);
    p.shortPathResultOverride = 300;
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_EQ(Texts(), std::vector<std::string>{"SYSTEM.DAT: 短いパス名を獲得できません[206]"});
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\SYSTEM.CLN"));
    EXPECT_TRUE(p.DanglingEntries().empty());

    // The entry cannot be removed: the stale file stays too, and the refusal
    // ends the program like any refused write of WININIT.INI.
    SetUp();
    p.rename["C:\\WINDOWS\\SYSTEM.DAT"] = "C:\\WINDOWS\\SYSTEM.CLN";
    p.AddFile("C:\\WINDOWS\\SYSTEM.CLN", 7);
    p.refuseIniRemovals = true;
    EXPECT_EQ(rebuild::RebuildThreadProc(&job), 1u);
    EXPECT_EQ(Texts(), std::vector<std::string>{"C:\\WINDOWS\\WININIT.INI に書き込めません"});
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\SYSTEM.CLN"));
    EXPECT_TRUE(p.DanglingEntries().empty());
}

TEST_F(WorkerTest, PlatformFailuresNameTheEntryAndTheLastError) {
    struct Case {
        std::function<void(FakePlatform&)> arrange;
        std::string message;
    };
    std::vector<Case> cases = {
        {[](FakePlatform& f) { f.shortNames.clear(), f.files.erase("C:\\WINDOWS\\SYSTEM.DAT"); },
         "SYSTEM.DAT: 短いパス名を獲得できません[2]"},
        {[](FakePlatform& f) { f.shortPathResultOverride = 300; },
         "SYSTEM.DAT: 短いパス名を獲得できません[206]"},
        // The registry steps show the thread's last error, not the code that
        // the call returned: without a value of the call's own, what the
        // existence test of the rebuilt file left.
        {[](FakePlatform& f) { f.loadError = 1009; }, "SYSTEM.DAT: ロードできません[2]"},
        {[](FakePlatform& f) { f.loadError = 1009, f.registryLastError = 1016; },
         "SYSTEM.DAT: ロードできません[1016]"},
        {[](FakePlatform& f) { f.openError = 5, f.registryLastError = 1010; },
         "SYSTEM.DAT: 再構成できません[1010]"},
        {[](FakePlatform& f) { f.saveError = 112, f.registryLastError = 1016; },
         "SYSTEM.DAT: 再構成できません[1016]"},
        {[](FakePlatform& f) { f.unloadError = 32, f.registryLastError = 1016; },
         "SYSTEM.DAT: ロード解除できません[1016]"},
    };
    for (const Case& c : cases) {
        SetUp();
        job.inputs.options.checkBefore = false;
        c.arrange(p);
        EXPECT_EQ(Run(), rebuild::rsAborted) << c.message;
        EXPECT_EQ(Texts(), std::vector<std::string>{c.message});
        EXPECT_TRUE(RenameKeys().empty());
        EXPECT_EQ(releases, 0);
    }
}

TEST_F(WorkerTest, FailedSaveLeavesTheHiveLoadedForTheNextPreflight) {
    p.saveError = 5;
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_EQ(p.tempKey, FakePlatform::TempKey::Loaded);
    SetUp();
    p.saveError = 0;
    EXPECT_EQ(Run(), rebuild::rsDone);
}

TEST_F(WorkerTest, SecondOfThreeHivesFailing) {
    job.inputs.targets[2].selected = true;
    job.inputs.options.delFontCache = true;
    p.AddFile("C:\\WINDOWS\\ttfCache");
    p.undeletable.insert("C:\\WINDOWS\\USER.CLN");
    p.AddFile("C:\\WINDOWS\\USER.CLN");
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_EQ(RenameKeys(),
              (std::vector<std::string>{"C:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\SYSTEM.CLN"}));
    EXPECT_TRUE(p.Has("C:\\WINDOWS\\SYSTEM.CLN"));
    EXPECT_FALSE(p.Has("C:\\WINDOWS\\CLASSES.CLN"));
    EXPECT_EQ(checkedPaths.back(), "C:\\WINDOWS\\USER.DAT");
    EXPECT_EQ(releases, 0);
}

TEST_F(WorkerTest, NothingSelectedOrNoWindowsDirectoryEndsSilently) {
    for (auto& t : job.inputs.targets) t.selected = false;
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_TRUE(u.boxes().empty());
    EXPECT_TRUE(p.iniWrites.empty());
    EXPECT_EQ(releases, 0);

    SetUp();
    job.inputs.winDir.clear();
    EXPECT_EQ(Run(), rebuild::rsAborted);
    EXPECT_TRUE(u.boxes().empty());
    EXPECT_TRUE(p.calls.empty());
}

TEST_F(WorkerTest, CacheEntriesComeLastFontBeforeIcon) {
    job.inputs.options.delFontCache = true;
    job.inputs.options.delIconCache = true;
    p.AddFile("C:\\WINDOWS\\ttfCache");
    p.shortNames["C:\\WINDOWS\\ttfCache"] = "C:\\WINDOWS\\TTFCACHE";
    p.AddFile("C:\\WINDOWS\\ShellIconCache");
    p.shortNames["C:\\WINDOWS\\ShellIconCache"] = "C:\\WINDOWS\\SHELLI~1";
    EXPECT_EQ(Run(), rebuild::rsDone);
    EXPECT_EQ(RenameKeys(),
              (std::vector<std::string>{"C:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\SYSTEM.CLN",
                                        "C:\\WINDOWS\\USER.DAT=C:\\WINDOWS\\USER.CLN",
                                        "C:\\WINDOWS\\TTFCACHE.BEF=C:\\WINDOWS\\TTFCACHE",
                                        "C:\\WINDOWS\\SHELLI~1.BEF=C:\\WINDOWS\\SHELLI~1"}));

    // Only the boxes that are on; a missing cache file gets no entry.
    SetUp();
    job.inputs.options.delIconCache = true;
    job.inputs.options.delFontCache = true;
    p.AddFile("C:\\WINDOWS\\ShellIconCache");
    EXPECT_EQ(Run(), rebuild::rsDone);
    EXPECT_EQ(RenameKeys().back(), "C:\\WINDOWS\\SHELLI~1.BEF=C:\\WINDOWS\\SHELLI~1");
    EXPECT_EQ(RenameKeys().size(), 3u);
}

TEST_F(WorkerTest, OverlongPathIsCheckedThroughItsShortForm) {
    std::string folder(240, 'a');
    std::string entry = "Profiles\\" + folder + "\\USER.DAT";
    std::string longPath = "C:\\WINDOWS\\" + entry;
    p.AddFile(longPath);
    p.shortNames[longPath] = "C:\\WINDOWS\\PROFILES\\AAAAAA~1\\USER.DAT";
    job.inputs.targets = {{entry, true}};
    EXPECT_EQ(Run(), rebuild::rsDone);
    for (const std::string& path : checkedPaths) EXPECT_LE(path.size(), 255u);
    EXPECT_EQ(checkedPaths.front(), "C:\\WINDOWS\\PROFILES\\AAAAAA~1\\USER.DAT");

    // At the edge: 255 bytes go as they are, 256 through the short form.
    for (std::size_t length : {255u, 256u}) {
        SetUp();
        const std::string edge = "Profiles\\" + std::string(length - 29, 'b') + "\\USER.DAT";
        const std::string full = "C:\\WINDOWS\\" + edge;
        ASSERT_EQ(full.size(), length);
        p.AddFile(full);
        p.shortNames[full] = "C:\\WINDOWS\\PROFILES\\BBBBBB~1\\USER.DAT";
        job.inputs.targets = {{edge, true}};
        EXPECT_EQ(Run(), rebuild::rsDone);
        EXPECT_EQ(checkedPaths.front(), length == 255u ? full : p.shortNames[full]);
    }
}

TEST_F(WorkerTest, LastResortHandlerShowsTheFailureAndExitsWithOne) {
    struct Case {
        std::function<void()> arrange;
        std::string text;
    };
    std::vector<Case> cases = {
        {[this] { p.refuseIniWrites = true; }, "C:\\WINDOWS\\WININIT.INI に書き込めません"},
        {[this] {
             job.hooks.checkHive = [](const std::string&) -> CheckCounts { throw IoError(5); };
         },
         "I/O ｴﾗｰ (5)"},
        {[this] {
             job.hooks.checkHive = [](const std::string&) -> CheckCounts {
                 throw OutOfMemoryError{};
             };
         },
         "ﾒﾓﾘが不足しています"},
        {[this] {
             job.hooks.backup = [] {
                 throw std::runtime_error("C:\\WINDOWS\\HELP\\SBRCOVER.BAT に書き込めません");
             };
         },
         "C:\\WINDOWS\\HELP\\SBRCOVER.BAT に書き込めません"},
    };
    for (const Case& c : cases) {
        SetUp();
        c.arrange();
        EXPECT_EQ(rebuild::RebuildThreadProc(&job), 1u);
        std::vector<Box> boxes = u.boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.text;
        EXPECT_EQ(boxes[0].kind, ui::BoxKind::Error);
        EXPECT_EQ(boxes[0].caption, "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ");
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(exitCodes, std::vector<platform::UINT>{1});
        EXPECT_EQ(state.load(), rebuild::rsRunning);
    }
}

// The worker on its own thread, its messages coming from there, the run state
// read by this thread as the wizard's timer would.
TEST_F(WorkerTest, RunsOnItsOwnThreadAndWritesTheStateLast) {
    counts["C:\\WINDOWS\\USER.DAT"] = {10, 0, 1};
    platform::DWORD id = 0;
    ASSERT_TRUE(rebuild::StartRebuildThread(&job, &id));
    EXPECT_EQ(id, 77u);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (state.load() == rebuild::rsRunning && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(state.load(), rebuild::rsAborted);
    EXPECT_EQ(u.boxes().size(), 1u);  // shown before the state changed
    EXPECT_EQ(RenameKeys().size(), 1u);
}

}  // namespace
}  // namespace sabrel::test
