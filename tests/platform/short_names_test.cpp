// SPDX-License-Identifier: MIT
// Aliases by the Windows 95 rules, and the code page's conversions.
#include <gtest/gtest.h>

#include "platform/offline/codepage.h"
#include "platform/offline/profile.h"
#include "platform/offline/short_names.h"

namespace sabrel::platform::offline {
namespace {

const CodePage kCp932(932);

std::string Basis(const std::string& name, bool* exact) {
    return ShortNameBasis(name, kCp932, exact);
}

TEST(ShortNames, BasisFollowsTheWindows95Rules) {
    struct Case {
        const char* name;
        const char* basis;
        bool exact;
    } cases[] = {
        {"SYSTEM.DAT", "SYSTEM.DAT", true},
        {"readme.txt", "README.TXT", true},  // case alone needs no tail
        {"ttfCache", "TTFCACHE", true},
        {"ShellIconCache", "SHELLICO", false},
        {"Long File Name.txt", "LONGFILE.TXT", false},
        {"my.file.name.txt", "MYFILENA.TXT", false},  // periods but the last dropped
        {"a+b,c;d=e[f]g.htm", "A_B_C_D_.HTM", false},
        {".profile", "PROFILE", false},
        {"archive.tar.gz", "ARCHIVET.GZ", false},
        {"name.html", "NAME.HTM", false},
        {"表示能力一覧表.txt", "表示能力.TXT", false},
        {"ソフト.dat", "ソフト.DAT", true},
        {"ab表示能力.x", "AB表示能.X", false},  // a double-byte character is never split
    };
    for (const Case& c : cases) {
        bool exact = !c.exact;
        EXPECT_EQ(Basis(c.name, &exact), c.basis) << c.name;
        EXPECT_EQ(exact, c.exact) << c.name;
    }
}

TEST(ShortNames, TailsAreUniqueAndNeverSplitACharacter) {
    EXPECT_EQ(ShortNameWithTail("LONGFILE.TXT", 1, kCp932), "LONGFI~1.TXT");
    EXPECT_EQ(ShortNameWithTail("LONGFILE.TXT", 12, kCp932), "LONGF~12.TXT");
    EXPECT_EQ(ShortNameWithTail("A表示能力", 1, kCp932), "A表示~1");  // 5 bytes, not 6

    std::vector<std::string> names = {"PROGRA~1",   "Program Files", "Programs Old",
                                      "readme.txt", "README.TXT",    "Progress.doc"};
    std::vector<std::string> aliases = AssignShortNames(names, kCp932);
    EXPECT_EQ(aliases, (std::vector<std::string>{"PROGRA~1", "PROGRA~2", "PROGRA~3", "README.TXT",
                                                 "README~1.TXT", "PROGRESS.DOC"}));
    EXPECT_EQ(aliases, AssignShortNames(names, kCp932));
}

TEST(CodePage, ConvertsNamesAndKnowsLeadBytes) {
    std::string utf8;
    ASSERT_TRUE(kCp932.ToHost("表ソ.txt", &utf8));
    EXPECT_EQ(utf8, u8"表ソ.txt");
    std::string ansi;
    bool lossless = false;
    ASSERT_TRUE(kCp932.FromHost(u8"ソフト①～", &ansi, &lossless));
    EXPECT_EQ(ansi, "ソフト①～");
    EXPECT_TRUE(lossless);
    ASSERT_TRUE(kCp932.FromHost(u8"a\U0001F600b", &ansi, &lossless));
    EXPECT_EQ(ansi, "a?b");
    EXPECT_FALSE(lossless);
    EXPECT_FALSE(kCp932.FromHost("\xff\xfe", &ansi));
    EXPECT_FALSE(kCp932.ToHost("\x95", &utf8));  // a lead byte without its trail byte

    EXPECT_TRUE(kCp932.EqualNoCase("c:\\表a", "C:\\表A"));
    EXPECT_FALSE(kCp932.EqualNoCase("\x81\x61", "\x81\x41"));  // trail bytes are not letters
    EXPECT_EQ(CodePage(1252).UpperAscii("\x81\x61"), "\x81\x41");
}

TEST(Profile, SectionNamesWithTrailBytesOfBrackets) {
    // ー is 81 5B ('[' as trail byte), ― is 81 5D (']').
    std::string text = "[ソフトー―]\r\nk=1\r\n";
    std::string value;
    ASSERT_TRUE(profile::Find(text, "ソフトー―", "K", &value, kCp932));
    EXPECT_EQ(value, "1");
    std::string key = "x";
    std::string v = "2";
    ASSERT_TRUE(profile::Write(&text, "ソフトー―", &key, &v, kCp932));
    EXPECT_EQ(text, "[ソフトー―]\r\nk=1\r\nx=2\r\n");
}

}  // namespace
}  // namespace sabrel::platform::offline
