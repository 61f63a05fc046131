// SPDX-License-Identifier: MIT
// Archive mode end to end: BackupReg drives the stand-in archiver library,
// loaded as "unlha32.dll" through the offline platform, and Debian's lhasa
// extracts the self-extracting backups it made.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "platform/offline/offline_platform.h"
#include "tests/backup/archive_session.h"
#include "tests/backup/test_support.h"
#include "ui/script/script_ui.h"

namespace sabrel::backup {
namespace {

namespace fs = std::filesystem;

std::string ReadHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Bytes that compress somewhat, as a hive does: repeated names among noise.
std::string HiveLikeBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string out = "CREG";
    const char* words[] = {"Software", "Microsoft", "Windows", "CurrentVersion", "ＭＳ ゴシック"};
    while (out.size() < size) {
        if (rng() % 3 == 0)
            out += static_cast<char>(rng() & 0xFF);
        else
            out += words[rng() % 5];
    }
    out.resize(size);
    return out;
}

// Extracts `archive` into the empty folder `into` with lhasa and returns the
// one file it made as "<name in upper case>=<bytes>"; empty on failure. lhasa
// gives the names of MS-DOS archives in lower case.
std::string Extract(const fs::path& archive, const fs::path& into) {
    fs::create_directories(into);
    std::string cmd = "cd '" + into.string() + "' && " + SABREL_TEST_LHASA + " xq '" +
                      archive.string() + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return std::string();
    std::vector<fs::path> made;
    for (const auto& e : fs::directory_iterator(into)) made.push_back(e.path());
    if (made.size() != 1) return std::string();
    std::string name = made[0].filename().string();
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name + "=" + ReadHost(made[0]);
}

TEST(BackupArchiveEndToEnd, SelfExtractingBackupsHoldTheHiveBytes) {
    const fs::path machine = test::MakeMachineFolder("backup-e2e");
    const fs::path windows = machine / "WINDOWS";
    const fs::path profile = windows / "Profiles" / "Taro Yamada";
    fs::create_directories(profile);
    const std::string system = HiveLikeBytes(150000, 1);
    const std::string user = HiveLikeBytes(20000, 2);
    test::WriteHostFile(windows / "SYSTEM.DAT", system);
    test::WriteHostFile(profile / "USER.DAT", user);
    test::WriteHostFile(windows / "SYSTEMBU.EXE", "an older backup");

    test::ArchiveSession session(windows, SABREL_TEST_UNLHA, "C:\\WINDOWS");
    ASSERT_TRUE(session.api.Usable());
    session.request.targets = {
        {"SYSTEM.DAT", true}, {"USER.DAT", false}, {"Profiles\\Taro Yamada\\USER.DAT", true}};
    BackupReg(session.request);

    for (const auto& box : session.ui.Boxes()) ADD_FAILURE() << box.text;
    EXPECT_FALSE(fs::exists(windows / "SYSTEMBU.LZH"));
    EXPECT_FALSE(fs::exists(profile / "USERBU.LZH"));
    ASSERT_TRUE(fs::exists(windows / "SYSTEMBU.EXE"));
    ASSERT_TRUE(fs::exists(profile / "USERBU.EXE"));

    // Compared whole, but without printing 150 kB on a mismatch.
    EXPECT_TRUE(Extract(windows / "SYSTEMBU.EXE", machine / "out-system") ==
                "SYSTEM.DAT=" + system);
    EXPECT_TRUE(Extract(profile / "USERBU.EXE", machine / "out-user") == "USER.DAT=" + user);

    const std::string batch = ReadHost(windows / "HELP" / "SBRCOVER.BAT");
    EXPECT_NE(batch.find("\r\nC:\\WINDOWS\\SYSTEMBU.EXE\r\nCD \\\r\n"), std::string::npos);
    EXPECT_NE(batch.find("ECHO --- Profiles\\Taro Yamada\\USER.DAT"), std::string::npos);

    unsetenv("SABREL_UNLHA_PATH");
    unsetenv("SABREL_WINDIR");
    std::error_code ec;
    fs::remove_all(machine, ec);
}

// Folders named like an archive or a program are no old backups: the library
// refuses to write over them (and never moves them aside), each failure gets
// its own message, and the folders stay as they were.
TEST(BackupArchiveEndToEnd, FoldersNamedLikeTheBackupsStayAndFailThatHive) {
    const fs::path machine = test::MakeMachineFolder("backup-dirs");
    const fs::path windows = machine / "WINDOWS";
    fs::create_directories(windows / "SYSTEMBU.LZH" / "inner");
    fs::create_directories(windows / "USERBU.EXE" / "inner");
    test::WriteHostFile(windows / "SYSTEM.DAT", HiveLikeBytes(5000, 3));
    test::WriteHostFile(windows / "USER.DAT", HiveLikeBytes(5000, 4));
    test::WriteHostFile(windows / "CLASSES.DAT", HiveLikeBytes(5000, 5));

    std::vector<ui::BoxRecord> boxes;
    {
        test::ArchiveSession session(windows, SABREL_TEST_UNLHA, "C:\\WINDOWS");
        ASSERT_TRUE(session.api.Usable());
        session.request.targets = {{"SYSTEM.DAT", true}, {"USER.DAT", true}, {"CLASSES.DAT", true}};
        BackupReg(session.request);
        boxes = session.ui.Boxes();
    }
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.rfind("SYSTEM.DAT: compress failure[", 0), 0u) << boxes[0].text;
    EXPECT_EQ(boxes[1].text.rfind("USER.DAT: make sfx failure[", 0), 0u) << boxes[1].text;
    EXPECT_TRUE(fs::is_directory(windows / "SYSTEMBU.LZH" / "inner"));
    EXPECT_TRUE(fs::is_directory(windows / "USERBU.EXE" / "inner"));
    EXPECT_TRUE(fs::exists(windows / "CLASSEBU.EXE"));
    // Nothing set aside or left half made.
    for (const char* left : {"USERBU.OL$", "USERBU.EX$", "SYSTEMBU.LZ$", "SYSTEMBU.EXE"})
        EXPECT_FALSE(fs::exists(windows / left)) << left;
    const std::string batch = ReadHost(windows / "HELP" / "SBRCOVER.BAT");
    EXPECT_EQ(batch.find("SYSTEMBU"), std::string::npos);
    EXPECT_EQ(batch.find("USERBU"), std::string::npos);
    EXPECT_NE(batch.find("C:\\WINDOWS\\CLASSEBU.EXE\r\n"), std::string::npos);

    unsetenv("SABREL_UNLHA_PATH");
    unsetenv("SABREL_WINDIR");
    std::error_code ec;
    fs::remove_all(machine, ec);
}

// Every name below ends in the trail byte 0x5C in code page 932. Each one
// names the Windows folder and a profile folder below it; in both backup forms
// every backup lands in its hive's own folder and holds the hive's bytes.
TEST(BackupArchiveEndToEnd, FolderNamesEndingInTrailByte5CInBothForms) {
    struct Name {
        const char* ansi;
        const char* host;
    };
    const Name names[] = {{"ソ", u8"ソ"}, {"表", u8"表"}, {"能", u8"能"}, {"十", u8"十"},
                          {"申", u8"申"}, {"予", u8"予"}, {"構", u8"構"}, {"貼", u8"貼"},
                          {"噂", u8"噂"}, {"暴", u8"暴"}};
    const fs::path machine = test::MakeMachineFolder("backup-5c");
    setenv("SABREL_UNLHA_PATH", SABREL_TEST_UNLHA, 1);
    unsigned seed = 10;
    for (const Name& name : names) {
        for (bool archiveMode : {false, true}) {
            SCOPED_TRACE(std::string(name.host) + (archiveMode ? " archive" : " copy"));
            const fs::path windows = machine / name.host;
            const fs::path profile = windows / "Profiles" / name.host;
            fs::remove_all(windows);
            fs::create_directories(profile);
            const std::string system = HiveLikeBytes(30000, ++seed);
            const std::string user = HiveLikeBytes(20000, ++seed);
            test::WriteHostFile(windows / "SYSTEM.DAT", system);
            test::WriteHostFile(profile / "USER.DAT", user);

            const std::string windir = std::string("C:\\") + name.ansi;
            const std::string entry = std::string("Profiles\\") + name.ansi + "\\USER.DAT";
            char shortHive[256] = {};
            std::vector<ui::BoxRecord> boxes;
            {
                test::ArchiveSession session(windows, SABREL_TEST_UNLHA, windir);
                ASSERT_TRUE(session.api.Usable());
                ASSERT_GT(session.system.GetShortPathNameA((windir + "\\" + entry).c_str(),
                                                           shortHive, 250),
                          0u);
                session.request.archiveMode = archiveMode;
                session.request.targets = {{"SYSTEM.DAT", true}, {entry, true}};
                BackupReg(session.request);
                boxes = session.ui.Boxes();
            }

            for (const auto& box : boxes) ADD_FAILURE() << box.text;
            const std::string batch = ReadHost(windows / "HELP" / "SBRCOVER.BAT");
            // The short hive path ends in "\USER.DAT"; its folder is what DOS changes to.
            const std::string shortFolder(shortHive, std::strlen(shortHive) - 9);
            if (archiveMode) {
                EXPECT_FALSE(fs::exists(profile / "USERBU.LZH"));
                EXPECT_TRUE(Extract(windows / "SYSTEMBU.EXE", machine / "out-system") ==
                            "SYSTEM.DAT=" + system);
                EXPECT_TRUE(Extract(profile / "USERBU.EXE", machine / "out-user") ==
                            "USER.DAT=" + user);
                fs::remove_all(machine / "out-system");
                fs::remove_all(machine / "out-user");
                EXPECT_NE(batch.find("\r\nCD " + shortFolder + "\r\n" + shortFolder +
                                     "\\USERBU.EXE\r\nCD \\\r\n"),
                          std::string::npos)
                    << batch;
            } else {
                EXPECT_EQ(ReadHost(windows / "SYSTEM.BEF"), system);
                EXPECT_EQ(ReadHost(profile / "USER.BEF"), user);
                EXPECT_NE(batch.find("\r\nCOPY " + shortFolder + "\\USER.BEF " + shortFolder +
                                     "\\USER.DAT /Y\r\n"),
                          std::string::npos)
                    << batch;
            }
            // Nothing landed beside the profile folder under a run-together name.
            int count = 0;
            for ([[maybe_unused]] const auto& e : fs::directory_iterator(windows / "Profiles"))
                ++count;
            EXPECT_EQ(count, 1);
        }
    }
    unsetenv("SABREL_UNLHA_PATH");
    unsetenv("SABREL_WINDIR");
    std::error_code ec;
    fs::remove_all(machine, ec);
}

}  // namespace
}  // namespace sabrel::backup
