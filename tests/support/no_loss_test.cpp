// SPDX-License-Identifier: MIT
// The invariant checker itself must see each kind of loss it exists for, and
// the faithful restart must lose a hive exactly where Windows 9x would.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/offline/offline_platform.h"
#include "programs/sabrel-hive/machine.h"
#include "tests/support/fault_platform.h"
#include "tests/support/no_loss.h"

namespace sabrel::test {
namespace {

namespace fs = std::filesystem;

class NoLoss : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("sabrel-noloss-" + std::to_string(::getpid()));
        fs::remove_all(root);
        tool::MachineOptions o;
        o.profiles = {u8"表ソ"};
        o.keys = 60;
        std::string error;
        ASSERT_TRUE(tool::MakeMachine(root.string(), o, &error)) << error;
        before = TakeSnapshot((root / "WINDOWS").string());
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path Win(const std::string& rel) const { return root / "WINDOWS" / rel; }
    void Write(const fs::path& p, const std::string& text) {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
    }
    std::string Join(const std::vector<std::string>& v) {
        std::string s;
        for (const std::string& l : v) s += l + "\n";
        return s;
    }

    fs::path root;
    InstallationSnapshot before;
};

TEST_F(NoLoss, SeesChangedHivesBadEntriesAndMissingBackups) {
    ASSERT_EQ(before.hives.size(), 3u);
    EXPECT_EQ(Join(CheckNoLoss(before, false)), "");

    // A rebuilt file with the same keys is fine behind an entry; a damaged one
    // and a missing one are not, nor is a second entry for the same hive.
    fs::copy_file(Win("SYSTEM.DAT"), Win("SYSTEM.CLN"));
    Write(Win("USER.CLN"), "CREG but nothing else");
    Write(Win("WININIT.INI"),
          "[rename]\r\nC:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\SYSTEM.CLN\r\n"
          "C:\\WINDOWS\\USER.DAT=C:\\WINDOWS\\USER.CLN\r\n"
          "C:\\WINDOWS\\PROFILES\\表ソ\\USER.DAT=C:\\WINDOWS\\PROFILES\\表ソ\\USER.CLN\r\n"
          "C:\\WINDOWS\\SYSTEM.DAT=C:\\WINDOWS\\SYSTEM.CLN\r\nhalf a line");
    std::string found = Join(CheckNoLoss(before, false));
    EXPECT_NE(found.find("USER.DAT=C:\\WINDOWS\\USER.CLN: checker status"), std::string::npos)
        << found;
    EXPECT_NE(found.find("names a missing file"), std::string::npos) << found;
    EXPECT_NE(found.find("replaces C:\\WINDOWS\\SYSTEM.DAT twice"), std::string::npos) << found;
    EXPECT_NE(found.find("no entry: half a line"), std::string::npos) << found;

    fs::remove(Win("WININIT.INI"));
    fs::create_directories(Win("HELP"));
    fs::copy_file(Win("SYSTEM.DAT"), Win("SYSTEM.BEF"));
    Write(Win("HELP/SBRCOVER.BAT"),
          "IF EXIST C:\\WINDOWS\\SYSTEM.BEF DEL C:\\WINDOWS\\SYSTEM.DAT\r\n"
          "IF EXIST C:\\WINDOWS\\USER.BEF DEL C:\\WINDOWS\\USER.DAT\r\n");
    EXPECT_EQ(Join(CheckNoLoss(before, false)),
              "SBRCOVER.BAT names a missing backup C:\\WINDOWS\\USER.BEF\n");
    Write(Win("SYSTEM.BEF"), "truncated");
    EXPECT_NE(Join(CheckNoLoss(before, false)).find("SYSTEM.BEF, which is not a copy"),
              std::string::npos);

    Write(Win("USER.DAT"), "changed");
    EXPECT_NE(Join(CheckNoLoss(before, false)).find("USER.DAT: the hive changed"),
              std::string::npos);
}

TEST_F(NoLoss, StrictRestartDeletesTheTargetEvenWithoutItsSource) {
    fs::copy_file(Win("USER.DAT"), Win("USER.CLN"));
    Write(Win("WININIT.INI"),
          "[Rename]\r\nC:\\WINDOWS\\USER.DAT=C:\\WINDOWS\\USER.CLN\r\n"
          "C:\\WINDOWS\\PROFILES\\表ソ\\USER.DAT=C:\\WINDOWS\\PROFILES\\表ソ\\USER.CLN\r\n");
    std::vector<std::string> lost = StrictRestart(before);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].rfind("C:\\WINDOWS\\PROFILES\\", 0), 0u) << lost[0];
    EXPECT_FALSE(fs::exists(Win("WININIT.INI")));
    EXPECT_TRUE(fs::exists(Win("WININIT.BAK")));
    EXPECT_FALSE(fs::exists(Win("USER.CLN")));
    std::string after = Join(CheckNoLoss(before, true));
    EXPECT_NE(after.find("USER.DAT: the hive is missing"), std::string::npos) << after;
    EXPECT_EQ(after.find("C:\\WINDOWS\\USER.DAT"), std::string::npos) << after;
}

// The decorator fails exactly the chosen call, with the chosen code; a failed
// flush of a copy leaves a torn file behind as a real one would, while a whole-file
// write fails without effect.
TEST_F(NoLoss, FaultPlatformFailsTheNthCallOfAKind) {
    ::setenv("SABREL_WINDIR", Win("").c_str(), 1);
    platform::offline::OfflinePlatform inner;
    FaultPlatform p(&inner);
    p.FailAt(FaultKind::kFlush, 3, 112);
    const std::string data(1000, 'x');
    EXPECT_TRUE(p.WriteWholeFile("C:\\WINDOWS\\A.TXT", data.data(), data.size()));
    EXPECT_TRUE(p.WriteWholeFile("C:\\WINDOWS\\B.TXT", data.data(), data.size()));
    EXPECT_FALSE(p.CopyFileA("C:\\WINDOWS\\A.TXT", "C:\\WINDOWS\\B.TXT", 0));
    EXPECT_EQ(p.GetLastError(), 112u);
    EXPECT_EQ(fs::file_size(Win("B.TXT")), 500u);
    EXPECT_TRUE(p.Fired());
    EXPECT_EQ(p.Calls(FaultKind::kCreate), 2);
    EXPECT_EQ(p.Calls(FaultKind::kWrite), 2);

    FaultPlatform w(&inner);
    w.FailAt(FaultKind::kFlush, 1, 5);
    EXPECT_FALSE(w.WriteWholeFile("C:\\WINDOWS\\A.TXT", "new", 3));
    EXPECT_EQ(fs::file_size(Win("A.TXT")), 1000u);

    FaultPlatform q(&inner);
    q.FailAt(FaultKind::kRegLoad, 1, 32);
    EXPECT_EQ(q.RegLoadKeyA(platform::kHkeyUsers, "X", "C:\\WINDOWS\\USER.DAT"), 32);
    EXPECT_TRUE(q.CopyFileA("C:\\WINDOWS\\A.TXT", "C:\\WINDOWS\\C.TXT", 0));
    EXPECT_EQ(q.FileWriteCalls(), std::vector<int>{2});
    ::unsetenv("SABREL_WINDIR");
}

}  // namespace
}  // namespace sabrel::test
