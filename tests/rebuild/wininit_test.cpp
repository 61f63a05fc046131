// SPDX-License-Identifier: MIT
// The four operations on WININIT.INI's [Rename] section: the key and value of
// each kind of entry, the cancelling operations finding the same keys, and the
// refused write.
#include "rebuild/wininit.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "tests/rebuild/fake_platform.h"

namespace sabrel::test {
namespace {

class WininitTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::Set(&p); }
    void TearDown() override { platform::Set(nullptr); }
    FakePlatform p;
    const std::string win = "C:\\WINDOWS";
};

TEST_F(WininitTest, HiveEntryIsWrittenAsGivenAndCancelledByItsShortPath) {
    rebuild::ScheduleHiveReplacement(win, "C:\\WINDOWS\\PROFILES\\YAMADA~1\\USER.DAT",
                                     "C:\\WINDOWS\\PROFILES\\YAMADA~1\\USER.CLN");
    p.AddFile("C:\\WINDOWS\\Profiles\\Yamada Taro\\USER.DAT");
    p.shortNames["C:\\WINDOWS\\Profiles\\Yamada Taro\\USER.DAT"] =
        "C:\\WINDOWS\\PROFILES\\YAMADA~1\\USER.DAT";
    rebuild::CancelHiveReplacement(win, "Profiles\\Yamada Taro\\USER.DAT");
    ASSERT_EQ(p.iniWrites.size(), 2u);
    EXPECT_EQ(p.iniWrites[0].section, "Rename");
    EXPECT_EQ(p.iniWrites[0].file, "C:\\WINDOWS\\WININIT.INI");
    EXPECT_EQ(p.iniWrites[0].value, "C:\\WINDOWS\\PROFILES\\YAMADA~1\\USER.CLN");
    EXPECT_FALSE(p.iniWrites[0].remove);
    EXPECT_TRUE(p.iniWrites[1].remove);
    EXPECT_EQ(p.iniWrites[1].key, p.iniWrites[0].key);
}

TEST_F(WininitTest, CacheEntrySetsTheShortNameAsideUnderBef) {
    p.AddFile("C:\\WINDOWS\\ttfCache");
    p.shortNames["C:\\WINDOWS\\ttfCache"] = "C:\\WINDOWS\\TTFCACHE";
    p.AddFile("C:\\WINDOWS\\ShellIconCache");
    p.shortNames["C:\\WINDOWS\\ShellIconCache"] = "C:\\WINDOWS\\SHELLI~1.CAC";
    rebuild::ScheduleCacheSetAside(win, "ttfCache");
    rebuild::ScheduleCacheSetAside(win, "ShellIconCache");
    rebuild::CancelCacheSetAside(win, "ShellIconCache");
    ASSERT_EQ(p.iniWrites.size(), 3u);
    EXPECT_EQ(p.iniWrites[0].key, "C:\\WINDOWS\\TTFCACHE.BEF");
    EXPECT_EQ(p.iniWrites[0].value, "C:\\WINDOWS\\TTFCACHE");
    EXPECT_EQ(p.iniWrites[1].key, "C:\\WINDOWS\\SHELLI~1.BEF");
    EXPECT_EQ(p.iniWrites[1].value, "C:\\WINDOWS\\SHELLI~1.CAC");
    EXPECT_EQ(p.iniWrites[2].key, "C:\\WINDOWS\\SHELLI~1.BEF");
    EXPECT_TRUE(p.iniWrites[2].remove);
}

TEST_F(WininitTest, FilesWithoutShortPathGetNoEntryAndNothingIsCancelled) {
    rebuild::ScheduleCacheSetAside(win, "ttfCache");
    rebuild::CancelCacheSetAside(win, "ttfCache");
    rebuild::CancelHiveReplacement(win, "USER.DAT");
    // A short form that would not fit the 250-character buffer counts as none.
    p.AddFile("C:\\WINDOWS\\ShellIconCache");
    p.shortPathResultOverride = 251;
    rebuild::ScheduleCacheSetAside(win, "ShellIconCache");
    EXPECT_TRUE(p.iniWrites.empty());
    std::string s;
    EXPECT_FALSE(rebuild::ShortPathOf("C:\\WINDOWS\\ShellIconCache", &s));
    EXPECT_EQ(p.GetLastError(), 206u);
    // The longest short form the buffer holds (249 characters) is used.
    p.shortPathResultOverride = 0;
    const std::string longest = "C:\\" + std::string(242, 'A') + ".CAC";
    p.shortNames["C:\\WINDOWS\\ShellIconCache"] = longest;
    EXPECT_TRUE(rebuild::ShortPathOf("C:\\WINDOWS\\ShellIconCache", &s));
    EXPECT_EQ(s, longest);
    p.shortNames["C:\\WINDOWS\\ShellIconCache"] = longest + "X";
    EXPECT_FALSE(rebuild::ShortPathOf("C:\\WINDOWS\\ShellIconCache", &s));
}

TEST_F(WininitTest, RefusedWriteRaisesTheFileNameAndRefusedRemovalIsIgnored) {
    p.refuseIniWrites = true;
    try {
        rebuild::ScheduleHiveReplacement(win, "C:\\WINDOWS\\USER.DAT", "C:\\WINDOWS\\USER.CLN");
        FAIL() << "no error raised";
    } catch (const WininitWriteError& e) {
        EXPECT_STREQ(e.what(), "C:\\WINDOWS\\WININIT.INI に書き込めません");
    }
    p.AddFile("C:\\WINDOWS\\ttfCache");
    EXPECT_THROW(rebuild::ScheduleCacheSetAside(win, "ttfCache"), WininitWriteError);
    p.AddFile("C:\\WINDOWS\\USER.DAT");
    EXPECT_NO_THROW(rebuild::CancelHiveReplacement(win, "USER.DAT"));
    EXPECT_NO_THROW(rebuild::CancelCacheSetAside(win, "ttfCache"));
}

}  // namespace
}  // namespace sabrel::test
