// SPDX-License-Identifier: MIT
// The Linux program's choice of installation: argument forms, the recent list
// and the chooser's loop (with a scripted chooser; the dialog itself is driven
// in the wizard test).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "programs/linux/installation.h"

namespace e = sabrel::programs::linux_entry;

namespace {

class EntryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char t[] = "/tmp/sabrel-entry-XXXXXX";
        ASSERT_NE(mkdtemp(t), nullptr);
        root_ = t;
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }
    void Dir(const std::string& rel) { mkdir((root_ + "/" + rel).c_str(), 0755); }
    void File(const std::string& rel, const std::string& text = "x") {
        std::ofstream(root_ + "/" + rel, std::ios::binary) << text;
    }
    // A Windows folder whose name holds 0x5C trail bytes in code page 932.
    std::string Windows(const std::string& rel) {
        Dir(rel);
        File(rel + "/system.dat");
        File(rel + "/WIN.COM");
        return root_ + "/" + rel;
    }
    std::string root_;
};

TEST_F(EntryTest, ArgumentForms) {
    // Host names are UTF-8; MSDOS.SYS holds code page 932 bytes.
    std::string win = Windows(u8"ソ表能");
    e::Resolution r = e::ResolveInstallation(win + "/");
    EXPECT_EQ(r.problem, e::Problem::None);
    EXPECT_EQ(r.windowsDirectory, win);

    // A drive root: MSDOS.SYS names the Windows folder in another case.
    File("MSDOS.SYS",
         ";padding\r\n[Options]\r\nWinDir=C:\\WRONG\r\n[Paths]\r\nWinBootDir=C:\\SOFT\r\n"
         "WinDir=C:\\ソ表能\r\n");
    r = e::ResolveInstallation(root_);
    EXPECT_EQ(r.problem, e::Problem::None);
    EXPECT_EQ(r.windowsDirectory, win);

    // A root whose MSDOS.SYS names a missing folder, a plain folder, a file
    // (an image) and nothing at all.
    File("MSDOS.SYS", "[Paths]\nwindir=c:\\十申\n");
    EXPECT_EQ(e::ResolveInstallation(root_).problem, e::Problem::NotAnInstallation);
    Dir("empty");
    File("empty/SYSTEM.DAT");  // no WIN.COM beside it
    EXPECT_EQ(e::ResolveInstallation(root_ + "/empty").problem, e::Problem::NotAnInstallation);
    File(u8"予構.img", std::string(512, '\0'));
    EXPECT_EQ(e::ResolveInstallation(root_ + u8"/予構.img").problem, e::Problem::ImageUnsupported);
    EXPECT_EQ(e::ResolveInstallation(root_ + u8"/貼噂").problem, e::Problem::Missing);
}

TEST_F(EntryTest, EnvironmentWins) {
    unsetenv("SABREL_WINDIR");
    EXPECT_FALSE(e::EnvironmentNamesInstallation());
    setenv("SABREL_WINDIR", "", 1);
    EXPECT_FALSE(e::EnvironmentNamesInstallation());
    setenv("SABREL_WINDIR", "/x", 1);
    EXPECT_TRUE(e::EnvironmentNamesInstallation());
    unsetenv("SABREL_WINDIR");

    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(e::RecentFilePath(), "/cfg/sabrel/recent");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(e::RecentFilePath(), "/home/u/.config/sabrel/recent");
}

TEST_F(EntryTest, RecentListKeepsFiveMostRecentFirst) {
    std::string file = root_ + "/config/sabrel/recent";
    for (int i = 1; i <= 6; ++i) ASSERT_TRUE(e::RememberRecent(file, "/w" + std::to_string(i)));
    ASSERT_TRUE(e::RememberRecent(file, "/w3"));
    std::vector<std::string> want = {"/w3", "/w6", "/w5", "/w4", "/w2"};
    EXPECT_EQ(e::LoadRecent(file), want);

    // A damaged file: junk and relative lines are dropped, the rest is kept
    // and a new entry still goes in.
    const char damaged[] = "\x01\x02garbage\n/ok\nrelative\n/ok\n\0\0\n/t\r\n";
    File("config/sabrel/recent", std::string(damaged, sizeof damaged - 1));
    want = {"/ok", "/t"};
    EXPECT_EQ(e::LoadRecent(file), want);
    ASSERT_TRUE(e::RememberRecent(file, "/n"));
    want = {"/n", "/ok", "/t"};
    EXPECT_EQ(e::LoadRecent(file), want);
    EXPECT_TRUE(e::LoadRecent(root_ + "/none").empty());
}

TEST_F(EntryTest, ChooserAsksAgainAfterAWrongChoice) {
    std::string win = Windows(u8"能");
    File("disk.vhd");
    std::vector<std::string> picks = {root_ + "/disk.vhd", root_, win};
    std::vector<e::Problem> seen;
    std::size_t next = 0;
    std::vector<std::string> offered;
    auto choose = [&](const std::vector<std::string>& recent, std::string* p) {
        offered = recent;
        if (next == picks.size()) return false;
        *p = picks[next++];
        return true;
    };
    auto alert = [&](e::Problem pr, const std::string&) { seen.push_back(pr); };
    EXPECT_EQ(e::ChooseInstallation({"/r1"}, choose, alert), win);
    std::vector<e::Problem> want = {e::Problem::ImageUnsupported, e::Problem::NotAnInstallation};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(offered, std::vector<std::string>{"/r1"});

    // Cancel ends it with nothing chosen.
    next = picks.size();
    EXPECT_EQ(e::ChooseInstallation({}, choose, alert), "");
}

}  // namespace
