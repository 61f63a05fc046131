// SPDX-License-Identifier: MIT
#include "common/paths.h"

#include <gtest/gtest.h>

namespace sabrel {
namespace {

TEST(ReplaceExtension, ReplacesOrAppends) {
    EXPECT_EQ(ReplaceExtension("C:\\WINDOWS\\SYSTEM.DAT", ".CLN"), "C:\\WINDOWS\\SYSTEM.CLN");
    EXPECT_EQ(ReplaceExtension("C:\\WINDOWS\\TTFCACHE", ".BEF"), "C:\\WINDOWS\\TTFCACHE.BEF");
    // A point in a folder name is not the file's extension.
    EXPECT_EQ(ReplaceExtension("C:\\A.B\\FILE", ".X"), "C:\\A.B\\FILE.X");
    EXPECT_EQ(ReplaceExtension("C:FILE", ".X"), "C:FILE.X");
    EXPECT_EQ(ReplaceExtension("A.B.C", ".X"), "A.B.X");
}

TEST(ReplaceExtension, TrailBytesAreNoDelimiters) {
    // "表" is 95 5C and "ソ" is 83 5C: their trail byte equals '\'.
    const std::string hyou = "\x95\x5c";
    EXPECT_EQ(ReplaceExtension("C:\\P\\" + hyou, ".DAT"), "C:\\P\\" + hyou + ".DAT");
    EXPECT_EQ(ReplaceExtension("C:\\A.B\\" + hyou + "X", ".DAT"), "C:\\A.B\\" + hyou + "X.DAT");
    // A double-byte character whose trail byte is 0x2E is no point: 82 2E is not
    // valid Shift-JIS, but 81 2E stands for a lead byte followed by '.'; the
    // scan must take the pair as one character.
    const std::string leadDot = "\x81\x2e";
    EXPECT_EQ(ReplaceExtension("C:\\" + leadDot + "X", ".CLN"), "C:\\" + leadDot + "X.CLN");
}

TEST(Paths, JoinAndSplit) {
    EXPECT_EQ(JoinPath("C:\\WINDOWS", "Profiles\\Taro\\USER.DAT"),
              "C:\\WINDOWS\\Profiles\\Taro\\USER.DAT");
    EXPECT_EQ(ExtractFileDir("C:\\WINDOWS\\SYSTEM.DAT"), "C:\\WINDOWS");
    EXPECT_EQ(ExtractFileName("C:\\WINDOWS\\SYSTEM.DAT"), "SYSTEM.DAT");
    const std::string so = "\x83\x5c";
    EXPECT_EQ(ExtractFileDir("C:\\" + so + "\\X"), "C:\\" + so);
    EXPECT_EQ(ExtractFileDir("C:\\D\\" + so), "C:\\D");
    for (unsigned b : {0x81u, 0x9Fu, 0xE0u, 0xFCu}) EXPECT_TRUE(IsSjisLeadByte(b)) << b;
    for (unsigned b : {0x80u, 0xA0u, 0xDFu, 0xFDu}) EXPECT_FALSE(IsSjisLeadByte(b)) << b;
    EXPECT_EQ(ExtractFileName("C:\\" + so), so);
}

TEST(Paths, TrailingSeparatorsGoButTrailBytesStay) {
    const std::string so = "\x83\x5c";
    EXPECT_EQ(TrimTrailingSeparators("C:\\P\\" + so + "\\"), "C:\\P\\" + so);
    EXPECT_EQ(TrimTrailingSeparators("C:\\P\\" + so), "C:\\P\\" + so);
    EXPECT_EQ(TrimTrailingSeparators("C:\\P\\/\\"), "C:\\P");
    EXPECT_EQ(TrimTrailingSeparators("\\"), "");
}

}  // namespace
}  // namespace sabrel
