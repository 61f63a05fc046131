// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "archiver/command_line.h"
#include "archiver/crc16.h"
#include "archiver/errors.h"
#include "archiver/lzh_archive.h"
#include "archiver/unlha_core.h"
#include "tests/archiver/memory_files.h"
#include "tests/archiver/sample_data.h"

namespace sabrel::archiver {
namespace {

using testing::HiveLike;
using testing::MemoryFiles;
using testing::RandomBytes;

TEST(CommandLine, QuotedUnquotedAndBlanksInPaths) {
    CommandLine c;
    ASSERT_TRUE(ParseCommandLine("a -a1 C:\\WINDOWS\\SYSTEMBU.LZH C:\\WINDOWS\\SYSTEM.DAT", &c));
    EXPECT_EQ(c.command, "a");
    ASSERT_EQ(c.switches.size(), 1u);
    EXPECT_EQ(c.switches[0], "-a1");
    ASSERT_EQ(c.paths.size(), 2u);
    EXPECT_EQ(c.paths[0], "C:\\WINDOWS\\SYSTEMBU.LZH");
    EXPECT_EQ(c.paths[1], "C:\\WINDOWS\\SYSTEM.DAT");

    ASSERT_TRUE(ParseCommandLine(
        "a -a1 \"C:\\Profiles\\Taro Yamada\\USERBU.LZH\" \"C:\\Profiles\\Taro Yamada\\USER.DAT\"",
        &c));
    ASSERT_EQ(c.paths.size(), 2u);
    EXPECT_EQ(c.paths[0], "C:\\Profiles\\Taro Yamada\\USERBU.LZH");
    EXPECT_EQ(c.paths[1], "C:\\Profiles\\Taro Yamada\\USER.DAT");

    // The folder argument ends in '\' inside its quotes.
    ASSERT_TRUE(ParseCommandLine("S \"C:\\A B\\USERBU.LZH\" \"C:\\A B\\\"", &c));
    EXPECT_EQ(c.command, "s");
    ASSERT_EQ(c.paths.size(), 2u);
    EXPECT_EQ(c.paths[1], "C:\\A B\\");

    // Blanks without quotes: split after the ".LZH" argument, blanks kept.
    ASSERT_TRUE(ParseCommandLine("a -a1 C:\\My  Docs\\USERBU.lzh C:\\My  Docs\\USER.DAT", &c));
    ASSERT_EQ(c.paths.size(), 2u);
    EXPECT_EQ(c.paths[0], "C:\\My  Docs\\USERBU.lzh");
    EXPECT_EQ(c.paths[1], "C:\\My  Docs\\USER.DAT");

    // A Shift-JIS name whose trail byte is '\' (0x5C) or '"' is kept whole.
    ASSERT_TRUE(ParseCommandLine("a X.LZH C:\\\x83\x5C\x83\x74\x83\x67.DAT", &c));
    EXPECT_EQ(c.paths[1], "C:\\\x83\x5C\x83\x74\x83\x67.DAT");

    EXPECT_FALSE(ParseCommandLine("", &c));
    EXPECT_FALSE(ParseCommandLine("a \"C:\\X.LZH C:\\Y", &c));
}

// A backslash is never an escape: '\"' is a separator and a closing quote,
// wherever it stands. A parser that read it as an escaped quote (the C
// runtime's rule) fails each of these.
TEST(CommandLine, BackslashBeforeAQuoteIsASeparator) {
    CommandLine c;
    // The backup's own form: the folder last, its quote closing after '\'.
    ASSERT_TRUE(
        ParseCommandLine("s \"C:\\WINDOWS\\Profiles\\Taro Yamada\\USERBU.LZH\" "
                         "\"C:\\WINDOWS\\Profiles\\Taro Yamada\\\"",
                         &c));
    ASSERT_EQ(c.paths.size(), 2u);
    EXPECT_EQ(c.paths[0], "C:\\WINDOWS\\Profiles\\Taro Yamada\\USERBU.LZH");
    EXPECT_EQ(c.paths[1], "C:\\WINDOWS\\Profiles\\Taro Yamada\\");
    // The same with another argument after it, and with two backslashes.
    ASSERT_TRUE(ParseCommandLine("s \"C:\\Taro Yamada\\\" \"C:\\A B\\\\\"", &c));
    ASSERT_EQ(c.paths.size(), 2u);
    EXPECT_EQ(c.paths[0], "C:\\Taro Yamada\\");
    EXPECT_EQ(c.paths[1], "C:\\A B\\\\");
    // A double-byte character whose trail byte is 0x5C ("表" is 95 5C) just
    // before the closing quote, with and without the separator after it.
    ASSERT_TRUE(ParseCommandLine("s \"C:\\A B\\\x95\x5c\" \"C:\\A B\\\x95\x5c\\\"", &c));
    ASSERT_EQ(c.paths.size(), 2u);
    EXPECT_EQ(c.paths[0], "C:\\A B\\\x95\x5c");
    EXPECT_EQ(c.paths[1], "C:\\A B\\\x95\x5c\\");
}

const SfxStub kFakeStub = [] {
    static const std::uint8_t bytes[] = {'M', 'Z', 1, 2, 3, 4, 5, 6, 7, 8};
    return SfxStub{bytes, sizeof bytes};
}();

class ArchiveTest : public ::testing::Test {
  protected:
    int Run(const std::string& line) {
        std::string message;
        return RunCommand(fs, line, &message, kFakeStub);
    }
    Archive Parse(const std::string& path) {
        Archive a;
        const auto& bytes = fs.files.at(path).data;
        EXPECT_EQ(ParseArchive(bytes.data(), bytes.size(), &a), kOk);
        return a;
    }
    MemoryFiles fs;
};

TEST_F(ArchiveTest, AddStoresBaseNameAttributeTimeAndMethod) {
    auto& hive = fs.files["C:\\WINDOWS\\SYSTEM.DAT"];
    hive.data = HiveLike(300000, 1);
    hive.attributes = 0x27;
    hive.time = 0x5A3C;
    hive.date = 0x2D45;
    fs.files["C:\\WINDOWS\\RAND.BIN"].data = RandomBytes(5000, 2);
    fs.files["C:\\WINDOWS\\EMPTY.DAT"];

    ASSERT_EQ(Run("a -a1 C:\\WINDOWS\\SYSTEMBU.LZH C:\\WINDOWS\\SYSTEM.DAT"), kOk);
    ASSERT_EQ(Run("a -a1 C:\\WINDOWS\\SYSTEMBU.LZH C:\\WINDOWS\\RAND.BIN"), kOk);
    ASSERT_EQ(Run("a -a1 C:\\WINDOWS\\SYSTEMBU.LZH C:\\WINDOWS\\EMPTY.DAT"), kOk);
    Archive a = Parse("C:\\WINDOWS\\SYSTEMBU.LZH");
    ASSERT_EQ(a.members.size(), 3u);
    EXPECT_EQ(a.members[0].name, "SYSTEM.DAT");
    EXPECT_STREQ(a.members[0].method, "-lh5-");
    EXPECT_EQ(a.members[0].attribute, 0x27);
    EXPECT_EQ(a.members[0].dosTime, 0x5A3C);
    EXPECT_EQ(a.members[0].dosDate, 0x2D45);
    EXPECT_EQ(a.members[0].level, 1);
    EXPECT_STREQ(a.members[1].method, "-lh0-");  // random data does not shrink
    EXPECT_STREQ(a.members[2].method, "-lh0-");
    EXPECT_EQ(a.members[2].originalSize, 0u);
    const auto& bytes = fs.files.at("C:\\WINDOWS\\SYSTEMBU.LZH").data;
    std::vector<std::uint8_t> out;
    ASSERT_EQ(VerifyMember(bytes.data(), a.members[0], &out), kOk);
    EXPECT_TRUE(out == hive.data);
    EXPECT_EQ(CheckArchive(fs, "C:\\WINDOWS\\SYSTEMBU.LZH", 2), kOk);
    // No temporary or set-aside file is left behind.
    EXPECT_EQ(fs.files.size(), 4u);
}

// Host paths: backslashes taken as separators, a dotted folder name and a
// file name without extension.
TEST_F(ArchiveTest, HostPathsWithDottedFolders) {
    fs.files["/tmp/a.b/HIVE"].data = HiveLike(5000, 2);
    ASSERT_EQ(Run("a -a1 /tmp/a.b/ARCH /tmp/a.b\\HIVE"), kOk);
    ASSERT_EQ(Run("a -a1 /tmp/a.b/ARCH /tmp/a.b/HIVE"), kOk);
    ASSERT_EQ(Run("s /tmp/a.b/ARCH /tmp/a.b\\"), kOk);
    EXPECT_EQ(fs.files.count("/tmp/a.b/ARCH.EXE"), 1u);
    EXPECT_EQ(Parse("/tmp/a.b/ARCH").members.size(), 1u);
    EXPECT_EQ(fs.files.size(), 3u);
}

TEST_F(ArchiveTest, UpdateReplacesSameNameRegardlessOfCase) {
    fs.files["C:\\A\\USER.DAT"].data = HiveLike(20000, 3);
    fs.files["C:\\A\\OTHER.DAT"].data = HiveLike(20000, 4);
    ASSERT_EQ(Run("a -a1 C:\\A\\X.LZH C:\\A\\USER.DAT"), kOk);
    ASSERT_EQ(Run("a -a1 C:\\A\\X.LZH C:\\A\\OTHER.DAT"), kOk);
    fs.files["C:\\A\\user.dat"].data = HiveLike(1000, 5);
    ASSERT_EQ(Run("a -a1 C:\\A\\X.LZH C:\\A\\user.dat"), kOk);
    Archive a = Parse("C:\\A\\X.LZH");
    ASSERT_EQ(a.members.size(), 2u);
    EXPECT_EQ(a.members[0].name, "OTHER.DAT");
    EXPECT_EQ(a.members[1].name, "user.dat");
    EXPECT_EQ(a.members[1].originalSize, 1000u);
    // Only a to z fold, both ends included; a trail byte stays as it is.
    EXPECT_TRUE(SameDosName("AZ.DAT", "az.dat"));
    EXPECT_FALSE(SameDosName("@[.DAT", "`{.DAT"));
    EXPECT_FALSE(SameDosName("\x83\x41.DAT", "\x83\x61.DAT"));
}

TEST_F(ArchiveTest, FailuresReturnCodesAndKeepTheOldArchive) {
    fs.files["C:\\A\\USER.DAT"].data = HiveLike(20000, 3);
    EXPECT_EQ(Run("a -a1 C:\\A\\X.LZH C:\\A\\MISSING.DAT"), kErrorFileOpen);
    fs.unreadable.insert("C:\\A\\USER.DAT");
    EXPECT_EQ(Run("a -a1 C:\\A\\X.LZH C:\\A\\USER.DAT"), kErrorFileOpen);
    fs.unreadable.clear();
    EXPECT_TRUE(fs.files.count("C:\\A\\X.LZH") == 0);

    ASSERT_EQ(Run("a -a1 C:\\A\\X.LZH C:\\A\\USER.DAT"), kOk);
    const auto before = fs.files.at("C:\\A\\X.LZH").data;
    // The temporary file cannot be written.
    fs.unwritable.insert("C:\\A\\X.LZ$");
    fs.files["C:\\A\\USER.DAT"].data = HiveLike(30000, 9);
    EXPECT_EQ(Run("a -a1 C:\\A\\X.LZH C:\\A\\USER.DAT"), kErrorCannotWrite);
    EXPECT_TRUE(fs.files.at("C:\\A\\X.LZH").data == before);
    fs.unwritable.clear();
    // The new archive cannot be put in place: the old one comes back.
    fs.failNextMoveTo.insert("C:\\A\\X.LZH");
    EXPECT_EQ(Run("a -a1 C:\\A\\X.LZH C:\\A\\USER.DAT"), kErrorCannotWrite);
    EXPECT_TRUE(fs.files.at("C:\\A\\X.LZH").data == before);
    // A write the system reports done but does not keep whole.
    fs.lossyWrites.insert("C:\\A\\X.LZ$");
    EXPECT_EQ(Run("a -a1 C:\\A\\X.LZH C:\\A\\USER.DAT"), kErrorCannotWrite);
    fs.lossyWrites.clear();
    EXPECT_TRUE(fs.files.at("C:\\A\\X.LZH").data == before);
    EXPECT_EQ(fs.files.size(), 2u);

    // A damaged archive is neither updated nor replaced.
    fs.files["C:\\A\\BAD.LZH"].data = {0x20, 0x00, 'j', 'u', 'n', 'k'};
    EXPECT_NE(Run("a -a1 C:\\A\\BAD.LZH C:\\A\\USER.DAT"), kOk);
    EXPECT_EQ(fs.files.at("C:\\A\\BAD.LZH").data.size(), 6u);

    EXPECT_EQ(Run("x C:\\A\\X.LZH C:\\A\\USER.DAT"), kErrorCommandName);
    EXPECT_EQ(Run("a -a1 C:\\A\\X.LZH"), kErrorCommandName);
    EXPECT_EQ(Run("s C:\\A\\NONE.LZH C:\\A\\"), kErrorArcFileOpen);
}

TEST_F(ArchiveTest, SfxIsStubThenArchiveAndChecksWhole) {
    fs.files["C:\\W\\SYSTEM.DAT"].data = HiveLike(100000, 6);
    fs.files["C:\\W\\SYSTEM.DAT"].attributes = 0x27;
    ASSERT_EQ(Run("a -a1 C:\\W\\SYSTEMBU.LZH C:\\W\\SYSTEM.DAT"), kOk);
    ASSERT_EQ(Run("s C:\\W\\SYSTEMBU.LZH C:\\W\\"), kOk);
    ASSERT_EQ(fs.files.count("C:\\W\\SYSTEMBU.EXE"), 1u);
    const auto& exe = fs.files.at("C:\\W\\SYSTEMBU.EXE").data;
    ASSERT_GT(exe.size(), kFakeStub.size);
    EXPECT_TRUE(std::equal(kFakeStub.data, kFakeStub.data + kFakeStub.size, exe.begin()));
    Archive a = Parse("C:\\W\\SYSTEMBU.EXE");
    EXPECT_EQ(a.start, kFakeStub.size);
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_EQ(a.members[0].attribute, 0x27);
    EXPECT_EQ(CheckArchive(fs, "C:\\W\\SYSTEMBU.EXE", 2), kOk);

    // One flipped bit of packed data: the headers still read, the check fails.
    fs.files["C:\\W\\BAD.EXE"].data = exe;
    fs.files["C:\\W\\BAD.EXE"].data[a.members[0].dataOffset + 100] ^= 0x10;
    EXPECT_EQ(CheckArchive(fs, "C:\\W\\BAD.EXE", 1), kOk);
    EXPECT_NE(CheckArchive(fs, "C:\\W\\BAD.EXE", 2), kOk);
    // A flipped header byte fails the header checksum.
    fs.files["C:\\W\\BAD.EXE"].data = exe;
    fs.files["C:\\W\\BAD.EXE"].data[a.start + 12] ^= 1;
    EXPECT_NE(CheckArchive(fs, "C:\\W\\BAD.EXE", 2), kOk);
    // Cut short.
    fs.files["C:\\W\\BAD.EXE"].data.assign(exe.begin(), exe.end() - 50);
    EXPECT_NE(CheckArchive(fs, "C:\\W\\BAD.EXE", 2), kOk);
    EXPECT_NE(CheckArchive(fs, "C:\\W\\NONE.EXE", 2), kOk);

    // No program is made from a damaged archive.
    auto lzh = fs.files.at("C:\\W\\SYSTEMBU.LZH").data;
    lzh[lzh.size() - 20] ^= 0x40;
    fs.files["C:\\W\\DAMAGED.LZH"].data = lzh;
    EXPECT_NE(Run("s C:\\W\\DAMAGED.LZH C:\\W\\"), kOk);
    EXPECT_EQ(fs.files.count("C:\\W\\DAMAGED.EXE"), 0u);
}

// Level 0 and level 2 members (as other archivers write them) are read, and
// the program made from them carries level-1 headers with DOS times.
TEST_F(ArchiveTest, OtherHeaderLevelsAreReadAndRewritten) {
    const std::string body = "hello, hello, hello";
    const std::uint16_t crc =
        Crc16(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
    std::vector<std::uint8_t> l0 = {0, 0, '-', 'l', 'h', '0', '-'};
    auto u32 = [](std::vector<std::uint8_t>& v, std::uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    };
    u32(l0, static_cast<std::uint32_t>(body.size()));
    u32(l0, static_cast<std::uint32_t>(body.size()));
    u32(l0, 0x2D456000);
    l0.push_back(0x21);  // attribute
    l0.push_back(0);     // level
    l0.push_back(5);
    for (char ch : std::string("A.TXT")) l0.push_back(static_cast<std::uint8_t>(ch));
    l0.push_back(static_cast<std::uint8_t>(crc));
    l0.push_back(static_cast<std::uint8_t>(crc >> 8));
    l0[0] = static_cast<std::uint8_t>(l0.size() - 2);
    unsigned sum = 0;
    for (std::size_t i = 2; i < l0.size(); ++i) sum += l0[i];
    l0[1] = static_cast<std::uint8_t>(sum);
    l0.insert(l0.end(), body.begin(), body.end());

    // Level 2: fixed part, header CRC (0x00), name (0x01), folder (0x02) "表\D"
    // (95 5C, whose trail byte is no separator, then FF, which is one),
    // attribute (0x40).
    std::vector<std::uint8_t> l2 = {0, 0, '-', 'l', 'h', '0', '-'};
    u32(l2, static_cast<std::uint32_t>(body.size()));
    u32(l2, static_cast<std::uint32_t>(body.size()));
    u32(l2, 1000000000u);  // 2001-09-09 01:46:40 UTC
    l2.push_back(0x20);
    l2.push_back(2);
    l2.push_back(static_cast<std::uint8_t>(crc));
    l2.push_back(static_cast<std::uint8_t>(crc >> 8));
    l2.push_back('U');
    l2.push_back(5);
    l2.push_back(0);
    l2.insert(l2.end(), {0x00, 0, 0, 8, 0});
    l2.insert(l2.end(), {0x01, 'B', '.', 'T', 'X', 'T', 7, 0});
    l2.insert(l2.end(), {0x02, 0x95, 0x5C, 0xFF, 'D', 5, 0});
    l2.insert(l2.end(), {0x40, 0x22, 0, 0, 0});
    l2[0] = static_cast<std::uint8_t>(l2.size());
    std::uint16_t hcrc = Crc16(l2.data(), l2.size());
    l2[27] = static_cast<std::uint8_t>(hcrc);
    l2[28] = static_cast<std::uint8_t>(hcrc >> 8);
    l2.insert(l2.end(), body.begin(), body.end());

    auto& arc = fs.files["C:\\X.LZH"].data;
    arc = l0;
    arc.insert(arc.end(), l2.begin(), l2.end());
    arc.push_back(0);
    Archive a = Parse("C:\\X.LZH");
    ASSERT_EQ(a.members.size(), 2u);
    EXPECT_EQ(a.members[0].name, "A.TXT");
    EXPECT_EQ(a.members[0].attribute, 0x21);
    EXPECT_EQ(a.members[1].name, "\x95\x5C\\D\\B.TXT");
    EXPECT_EQ(a.members[1].attribute, 0x22);
    EXPECT_EQ(CheckArchive(fs, "C:\\X.LZH", 2), kOk);

    ASSERT_EQ(Run("s C:\\X.LZH C:\\OUT\\"), kOk);
    Archive s = Parse("C:\\OUT\\X.EXE");
    ASSERT_EQ(s.members.size(), 2u);
    EXPECT_EQ(s.members[1].name, "B.TXT");
    EXPECT_EQ(s.members[1].level, 1);
    EXPECT_EQ(s.members[1].attribute, 0x22);
    EXPECT_EQ(s.members[1].dosDate, ((2001 - 1980) << 9) | (9 << 5) | 9);
    EXPECT_EQ(s.members[1].dosTime, (1 << 11) | (46 << 5) | 20);

    // A wrong level-2 header CRC is refused.
    arc[l0.size() + 27] ^= 1;
    Archive bad;
    EXPECT_EQ(ParseArchive(arc.data(), arc.size(), &bad), kErrorHeaderCrc);
}

// One level-2 member stored as is, its name in extended header 0x01.
std::vector<std::uint8_t> Level2Member(const std::string& name, const std::string& body) {
    std::vector<std::uint8_t> h = {0, 0, '-', 'l', 'h', '0', '-'};
    auto u32 = [&h](std::uint32_t x) {
        for (int i = 0; i < 4; ++i) h.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    };
    u32(static_cast<std::uint32_t>(body.size()));
    u32(static_cast<std::uint32_t>(body.size()));
    u32(1000000000u);
    const std::uint16_t crc =
        Crc16(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
    h.insert(h.end(), {0x20, 2, static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8),
                       'M', 5, 0});
    const std::size_t nameExt = 3 + name.size();
    h.insert(h.end(), {0x00, 0, 0, static_cast<std::uint8_t>(nameExt),
                       static_cast<std::uint8_t>(nameExt >> 8)});
    h.push_back(0x01);
    h.insert(h.end(), name.begin(), name.end());
    h.insert(h.end(), {0, 0});
    if ((h.size() & 0xFF) == 0) h.push_back(0);
    h[0] = static_cast<std::uint8_t>(h.size());
    h[1] = static_cast<std::uint8_t>(h.size() >> 8);
    const std::uint16_t headerCrc = Crc16(h.data(), h.size());
    h[27] = static_cast<std::uint8_t>(headerCrc);
    h[28] = static_cast<std::uint8_t>(headerCrc >> 8);
    h.insert(h.end(), body.begin(), body.end());
    return h;
}

// A level-1 header holds a name of at most 230 bytes; a longer one is refused
// rather than written with a wrapped header size. And a program that does not
// read back as the archive it was made from is never reported as made.
TEST_F(ArchiveTest, SfxRefusesWhatItCannotWriteAndChecksWhatItMade) {
    for (std::size_t length : {230u, 231u, 255u, 300u}) {
        SCOPED_TRACE(length);
        auto& lzh = fs.files["C:\\L.LZH"].data;
        lzh = Level2Member(std::string(length - 4, 'N') + ".DAT", "long name");
        lzh.push_back(0);
        ASSERT_EQ(CheckArchive(fs, "C:\\L.LZH", 2), kOk);
        const int rc = Run("s C:\\L.LZH C:\\OUT\\");
        if (length <= 230) {
            EXPECT_EQ(rc, kOk);
            EXPECT_EQ(CheckArchive(fs, "C:\\OUT\\L.EXE", 2), kOk);
        } else {
            EXPECT_NE(rc, kOk);
            EXPECT_EQ(fs.files.count("C:\\OUT\\L.EXE"), 0u);
        }
        fs.files.erase("C:\\OUT\\L.EXE");
    }

    // A stub that carries a member of its own: the program would restore
    // that one too.
    const std::vector<std::uint8_t> stowaway = Level2Member("EVIL.DAT", "not ours");
    std::vector<std::uint8_t> stub = {'M', 'Z', 1, 2};
    stub.insert(stub.end(), stowaway.begin(), stowaway.end());
    fs.files["C:\\W\\SYSTEM.DAT"].data = HiveLike(5000, 7);
    ASSERT_EQ(Run("a -a1 C:\\W\\SYSTEMBU.LZH C:\\W\\SYSTEM.DAT"), kOk);
    std::string message;
    EXPECT_NE(RunCommand(fs, "s C:\\W\\SYSTEMBU.LZH C:\\W\\", &message,
                         SfxStub{stub.data(), stub.size()}),
              kOk);
    EXPECT_EQ(fs.files.count("C:\\W\\SYSTEMBU.EXE"), 0u);
}

TEST(SfxStub, HoldsNoMethodLikeBytes) {
    SfxStub stub = BuiltInStub();
    ASSERT_GE(stub.size, 2u);
    EXPECT_EQ(stub.data[0], 'M');
    EXPECT_EQ(stub.data[1], 'Z');
    for (std::size_t i = 0; i + 5 <= stub.size; ++i) {
        const std::uint8_t* m = stub.data + i;
        bool looks =
            m[0] == '-' && m[4] == '-' &&
            ((m[1] == 'l' && (m[2] == 'h' || m[2] == 'z')) || (m[1] == 'p' && m[2] == 'm'));
        EXPECT_FALSE(looks) << "at " << i;
    }
}

}  // namespace
}  // namespace sabrel::archiver
