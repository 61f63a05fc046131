// SPDX-License-Identifier: MIT
// The FAT engine against volumes made and checked by dosfstools and mtools:
// it reads what mcopy wrote, and what it writes passes fsck.fat and reads back
// the same through mdir, mattrib and mtype.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/byte_reader.h"
#include "platform/offline/codepage.h"
#include "platform/offline/fat/block_device.h"
#include "platform/offline/fat/image.h"
#include "platform/offline/fat/partitions.h"
#include "platform/offline/fat/volume.h"
#include "tests/platform/image_fixture.h"

namespace sabrel::platform::offline::fat {
namespace {

const CodePage kCp932(932);

std::string Utf8(const std::string& ansi) {
    std::string out;
    EXPECT_TRUE(kCp932.ToHost(ansi, &out));
    return out;
}

using testing::Shell;
using testing::ShellQuote;

class Image {
  public:
    Image() {
        char tmpl[] = "/tmp/sabrel-fat-XXXXXX";
        dir_ = mkdtemp(tmpl);
        path_ = dir_ + "/disk.img";
    }
    ~Image() { std::filesystem::remove_all(dir_); }
    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }

    // A fresh volume of the given FAT type, 512-byte clusters.
    void Format(int bits) {
        const char* kb = bits == 12 ? "1440" : bits == 16 ? "8192" : "40000";
        ASSERT_EQ(Shell("mkfs.fat -C -F " + std::to_string(bits) + " -s 1 " + ShellQuote(path_) +
                        " " + kb + " >/dev/null"),
                  0);
    }
    // Puts a host file with `bytes` on the volume at `dosPath` (UTF-8) with mcopy.
    void Put(const std::string& dosPath, const std::string& bytes, const std::string& at = "") {
        std::string host = dir_ + "/put.bin";
        std::ofstream(host, std::ios::binary) << bytes;
        ASSERT_EQ(Shell("mcopy -o -i " + ShellQuote(path_ + at) + " " + ShellQuote(host) + " " +
                        ShellQuote("::/" + dosPath)),
                  0);
    }
    std::string Type(const std::string& dosPath) {
        std::string out;
        EXPECT_EQ(Shell("mtype -i " + ShellQuote(path_) + " " + ShellQuote("::/" + dosPath), &out),
                  0)
            << out;
        return out;
    }
    // fsck.fat in check-only mode must find nothing to say beyond its summary.
    void ExpectClean(const std::string& at = "") {
        std::string out;
        int rc = at.empty() ? Shell("fsck.fat -n " + ShellQuote(path_), &out)
                            : Shell("fsck.fat -n " + ShellQuote(at), &out);
        EXPECT_EQ(rc, 0) << out;
        EXPECT_EQ(out.find("\n", out.find("\n") + 1), out.size() - 1) << out;
    }

  private:
    std::string dir_, path_;
};

struct Opened {
    std::unique_ptr<FileDevice> device;
    std::unique_ptr<Volume> volume;
};

Opened OpenVolume(const std::string& path) {
    Opened o;
    FileDevice::OpenError oe;
    o.device = FileDevice::Open(path, true, &oe);
    EXPECT_TRUE(o.device) << path;
    if (!o.device) return o;
    FatError fe;
    o.volume = Volume::Open(o.device.get(), &kCp932, &kCp932, &fe);
    EXPECT_TRUE(o.volume);
    return o;
}

std::string Pattern(std::size_t n, int seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + seed * 7 + i / 509) & 0xFF);
    return s;
}

class FatTypes : public ::testing::TestWithParam<int> {};

TEST_P(FatTypes, ReadsWhatMtoolsWrote) {
    Image img;
    img.Format(GetParam());
    const std::string japanese = "表示能力一覧表.txt";  // trail bytes 0x5C
    const std::string big = Pattern(70000, 1);
    img.Put("Long File Name.txt", "hello");
    img.Put(Utf8(japanese), "ja");
    ASSERT_EQ(Shell("mmd -i " + ShellQuote(img.path()) + " '::/Program Files'"), 0);
    img.Put("Program Files/big.bin", big);
    ASSERT_EQ(Shell("mattrib -i " + ShellQuote(img.path()) + " +h +r '::/Long File Name.txt'"), 0);

    Opened o = OpenVolume(img.path());
    ASSERT_TRUE(o.volume);
    Volume& v = *o.volume;
    EXPECT_EQ(static_cast<int>(v.boot().type), GetParam() == 12 ? 0 : GetParam() == 16 ? 1 : 2);
    std::vector<DirEntry> root;
    ASSERT_EQ(v.List(v.root(), &root), FatError::kNone);
    ASSERT_EQ(root.size(), 3u);
    EXPECT_EQ(root[0].name, "Long File Name.txt");
    EXPECT_TRUE(root[0].hasLongName);
    EXPECT_EQ(root[0].attributes & 0x27, attr::kArchive | attr::kHidden | attr::kReadOnly);
    EXPECT_EQ(root[1].name, japanese);

    DirEntry e;
    std::string data;
    ASSERT_EQ(v.Find(root[0].shortName, &e), FatError::kNone);  // by alias
    ASSERT_EQ(v.Read(e, &data), FatError::kNone);
    EXPECT_EQ(data, "hello");
    ASSERT_EQ(v.Find("\\PROGRAM FILES\\BIG.BIN", &e), FatError::kNone);  // any case
    ASSERT_EQ(v.Read(e, &data), FatError::kNone);
    EXPECT_EQ(data, big);
    ASSERT_EQ(v.Find(japanese, &e), FatError::kNone);
    EXPECT_EQ(v.Find("Program Files\\missing", &e), FatError::kNotFound);
    EXPECT_EQ(v.Find("Long File Name.txt\\x", &e), FatError::kNotADirectory);
}

TEST_P(FatTypes, WritesThatFsckAndMtoolsReadBack) {
    Image img;
    img.Format(GetParam());
    img.Put("old.dat", Pattern(3000, 2));
    const std::string profile = "ソフト表示";  // both with a 0x5C trail byte
    const std::string hive = Pattern(9000, 3);
    {
        Opened o = OpenVolume(img.path());
        ASSERT_TRUE(o.volume);
        Volume& v = *o.volume;
        DosStamp when;
        when.date = (46 << 9) | (6 << 5) | 15;  // 2026-06-15 12:34:56
        when.time = (12 << 11) | (34 << 5) | 28;
        ASSERT_EQ(v.MakeDirectory("WINDOWS", when), FatError::kNone);
        ASSERT_EQ(v.MakeDirectory("WINDOWS\\Profiles", when), FatError::kNone);
        // The profile folder as Windows made it (an alias without the trail
        // byte 0x5C, which fsck.fat would call bad); the hive inside is ours.
        o = Opened();
        ASSERT_EQ(Shell("mmd -i " + ShellQuote(img.path()) + " " +
                        ShellQuote(Utf8("::/WINDOWS/Profiles/" + profile))),
                  0);
        o = OpenVolume(img.path());
        ASSERT_TRUE(o.volume);
    }
    {
        Opened o = OpenVolume(img.path());
        ASSERT_TRUE(o.volume);
        Volume& v = *o.volume;
        DosStamp when;
        when.date = (46 << 9) | (6 << 5) | 15;
        when.time = (12 << 11) | (34 << 5) | 28;
        ASSERT_EQ(v.WriteFile("WINDOWS\\Profiles\\" + profile + "\\USER.DAT", hive, when),
                  FatError::kNone);
        ASSERT_EQ(v.WriteFile("WINDOWS\\system.dat", "abc", when), FatError::kNone);
        ASSERT_EQ(v.WriteFile("WINDOWS\\Long File Name.txt", "one", when), FatError::kNone);
        ASSERT_EQ(v.WriteFile("WINDOWS\\Long File Nameless.txt", "two", when), FatError::kNone);
        ASSERT_EQ(v.MakeDirectory("WINDOWS\\longfi~1.txt", when), FatError::kExists);
        ASSERT_EQ(v.WriteFile("old.dat", "replaced", when), FatError::kNone);
        ASSERT_EQ(v.WriteFile("empty", "", when), FatError::kNone);
        ASSERT_EQ(v.Rename("WINDOWS\\Long File Nameless.txt", "moved.txt"), FatError::kNone);
        ASSERT_EQ(v.SetAttributes("WINDOWS\\system.dat", attr::kHidden | attr::kSystem),
                  FatError::kNone);
        ASSERT_EQ(v.Remove("WINDOWS"), FatError::kNotEmpty);
        ASSERT_EQ(v.WriteFile("gone.txt", Pattern(2000, 4), when), FatError::kNone);
        ASSERT_EQ(v.Remove("gone.txt"), FatError::kNone);
        // A folder that outgrows its first cluster.
        for (int i = 0; i < 40; ++i)
            ASSERT_EQ(v.WriteFile("WINDOWS\\Profiles\\A long name number " + std::to_string(i),
                                  std::string(i, 'z'), when),
                      FatError::kNone);
        DirEntry e;
        ASSERT_EQ(v.Find("WINDOWS\\LONGFI~1.TXT", &e), FatError::kNone);
        EXPECT_EQ(e.name, "Long File Name.txt");
        ASSERT_EQ(v.Find("moved.txt", &e), FatError::kNone);
        EXPECT_EQ(e.shortName, "MOVED.TXT");
        EXPECT_TRUE(e.hasLongName);
        EXPECT_EQ(v.Rename("moved.txt", "old.dat"), FatError::kExists);
    }
    img.ExpectClean();
    EXPECT_EQ(img.Type(Utf8("WINDOWS/Profiles/" + profile + "/USER.DAT")), hive);
    EXPECT_EQ(img.Type("old.dat"), "replaced");
    EXPECT_EQ(img.Type("moved.txt"), "two");
    EXPECT_EQ(img.Type("WINDOWS/Profiles/A long name number 39"), std::string(39, 'z'));
    std::string out;
    Shell("mdir -a -i " + ShellQuote(img.path()) + " ::/WINDOWS", &out);
    EXPECT_NE(out.find("LONGFI~1 TXT         3 2026-06-15  12:34  Long File Name.txt"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("SYSTEM   DAT         3 2026-06-15  12:34"), std::string::npos) << out;
    Shell("mattrib -i " + ShellQuote(img.path()) + " ::/WINDOWS/system.dat", &out);
    EXPECT_NE(out.find("  SH"), std::string::npos) << out;
    Shell("mdir -b -i " + ShellQuote(img.path()) + " ::/", &out);
    EXPECT_EQ(out.find("gone.txt"), std::string::npos) << out;
}

// A device that names the region of every write: "fat1", "fat2", "root" (a
// fixed root folder), "dir" (the first cluster of a FAT32 root), "data" or
// "info" (anything before the FATs, where FSInfo lives); "sync" is a flush.
class RecordingDevice : public BlockDevice {
  public:
    explicit RecordingDevice(BlockDevice* base) : base_(base) {}
    std::uint64_t Size() const override { return base_->Size(); }
    bool Read(std::uint64_t offset, void* out, std::size_t length) override {
        return base_->Read(offset, out, length);
    }
    bool Write(std::uint64_t offset, const void* data, std::size_t length) override {
        writes.push_back(offset);
        return base_->Write(offset, data, length);
    }
    bool Flush() override {
        writes.push_back(kSync);
        return base_->Flush();
    }

    std::string Regions(const BootSector& b) const {
        std::string s;
        for (std::uint64_t at : writes) {
            // Two flushes in a row are one barrier.
            if (at == kSync && s.size() >= 4 && s.compare(s.size() - 4, 4, "sync") == 0) continue;
            if (!s.empty()) s += ' ';
            if (at == kSync) {
                s += "sync";
            } else if (at < b.fatOffset) {
                s += "info";
            } else if (at < b.fatOffset + b.fatCount * b.fatBytes) {
                s += "fat" + std::to_string((at - b.fatOffset) / b.fatBytes + 1);
            } else if (at < b.dataOffset) {
                s += "root";
            } else {
                bool root = b.type == FatType::kFat32 &&
                            (at - b.dataOffset) / b.clusterBytes + 2 == b.rootCluster;
                s += root ? "dir" : "data";
            }
        }
        return s;
    }
    static constexpr std::uint64_t kSync = ~std::uint64_t{0};
    std::vector<std::uint64_t> writes;

  private:
    BlockDevice* base_;
};

// A kill at any moment leaves at worst lost clusters: a file's new clusters
// are written first, then both FATs, then its entry, each step flushed before
// the next; the clusters a replacement gives up are freed after the entry
// names the new ones, and FSInfo follows everything. Moving a file over
// another removes the moved entry before the target takes its clusters, so
// no two entries ever share them.
TEST_P(FatTypes, WritesReachTheDiskDataFirstThenEveryFatThenTheEntry) {
    Image img;
    img.Format(GetParam());
    Opened o = OpenVolume(img.path());
    ASSERT_TRUE(o.volume);
    RecordingDevice rec(o.device.get());
    FatError fe;
    std::unique_ptr<Volume> v = Volume::Open(&rec, &kCp932, &kCp932, &fe);
    ASSERT_TRUE(v);
    const BootSector& b = v->boot();
    const bool fat32 = b.type == FatType::kFat32;
    const std::string dir = fat32 ? "dir" : "root", info = fat32 ? " info" : "";
    ASSERT_EQ(v->WriteFile("A long name.txt", Pattern(1500, 6), DosStamp{}), FatError::kNone);
    EXPECT_EQ(rec.Regions(b), "data sync fat1 fat2 sync " + dir + info);
    rec.writes.clear();
    ASSERT_EQ(v->WriteFile("A long name.txt", "shorter", DosStamp{}), FatError::kNone);
    EXPECT_EQ(rec.Regions(b), "data sync fat1 fat2 sync " + dir + " sync fat1 fat2 sync" + info);
    ASSERT_EQ(v->WriteFile("B.CLN", "new hive", DosStamp{}), FatError::kNone);
    DirEntry from, to;
    ASSERT_EQ(v->Find("B.CLN", &from), FatError::kNone);
    ASSERT_EQ(v->Find("A long name.txt", &to), FatError::kNone);
    const std::uint64_t folder =
        fat32 ? b.dataOffset + (b.rootCluster - 2ull) * b.clusterBytes : b.rootDirOffset;
    rec.writes.clear();
    ASSERT_EQ(v->Replace("B.CLN", "A long name.txt"), FatError::kNone);
    EXPECT_EQ(rec.Regions(b), dir + " sync " + dir + " sync fat1 fat2 sync" + info);
    ASSERT_GE(rec.writes.size(), 3u);
    EXPECT_EQ(rec.writes[0], folder + from.firstSlot * 32ull);
    EXPECT_EQ(rec.writes[2], folder + to.slot * 32ull);
    v.reset();
    o = Opened();
    img.ExpectClean();
    EXPECT_EQ(img.Type("A long name.txt"), "new hive");
}

// WININIT.INI becoming WININIT.BAK must never lose the file: a plain 8.3
// name that stays one in its folder changes in a single slot write, keeping
// the entry's other fields. A name that needs a long name (a trail byte 0x5C)
// still moves, the old way.
TEST_P(FatTypes, APlainShortNameIsRenamedInOneSlotWrite) {
    Image img;
    img.Format(GetParam());
    img.Put("WININIT.INI", "[rename]\r\n");
    img.Put("OTHER.TXT", "x");
    {
        Opened o = OpenVolume(img.path());
        ASSERT_TRUE(o.volume);
        RecordingDevice rec(o.device.get());
        FatError fe;
        std::unique_ptr<Volume> v = Volume::Open(&rec, &kCp932, &kCp932, &fe);
        ASSERT_TRUE(v);
        const BootSector& b = v->boot();
        const std::uint64_t folder = b.type == FatType::kFat32
                                         ? b.dataOffset + (b.rootCluster - 2ull) * b.clusterBytes
                                         : b.rootDirOffset;
        DirEntry before, after;
        ASSERT_EQ(v->Find("WININIT.INI", &before), FatError::kNone);
        EXPECT_EQ(v->Rename("WININIT.INI", "other.txt"), FatError::kExists);
        rec.writes.clear();
        ASSERT_EQ(v->Rename("WININIT.INI", "WININIT.BAK"), FatError::kNone);
        std::vector<std::uint64_t> writes;
        for (std::uint64_t at : rec.writes)
            if (at != RecordingDevice::kSync) writes.push_back(at);
        EXPECT_EQ(writes, std::vector<std::uint64_t>{folder + before.slot * 32ull});
        EXPECT_EQ(v->Find("WININIT.INI", &after), FatError::kNotFound);
        ASSERT_EQ(v->Find("WININIT.BAK", &after), FatError::kNone);
        EXPECT_EQ(after.slot, before.slot);
        EXPECT_FALSE(after.hasLongName);
        EXPECT_EQ(after.firstCluster, before.firstCluster);
        EXPECT_EQ(after.size, before.size);
        EXPECT_EQ(after.attributes, before.attributes);
        EXPECT_EQ(after.written.date, before.written.date);
        EXPECT_EQ(after.written.time, before.written.time);
        EXPECT_EQ(after.created.time, before.created.time);
        ASSERT_EQ(v->Rename("OTHER.TXT", "\x83\x5C.TXT"), FatError::kNone);  // ソ
        ASSERT_EQ(v->Find("\x83\x5C.TXT", &after), FatError::kNone);
        EXPECT_TRUE(after.hasLongName);
    }
    img.ExpectClean();
    EXPECT_EQ(img.Type("WININIT.BAK"), "[rename]\r\n");
    EXPECT_EQ(img.Type(Utf8("\x83\x5C.TXT")), "x");
    std::string out;
    Shell("mdir -b -i " + ShellQuote(img.path()) + " ::/", &out);
    EXPECT_NE(out.find("WININIT.BAK"), std::string::npos) << out;
    EXPECT_EQ(out.find("WININIT.INI"), std::string::npos) << out;
}

// Any value from the lowest end-of-chain marker up ends a chain, as other
// systems write them; the bad-cluster mark just below it is no end.
TEST_P(FatTypes, EveryEndMarkerEndsAChainAndTheBadClusterMarkDoesNot) {
    Image img;
    img.Format(GetParam());
    img.Put("end.bin", Pattern(1500, 7));
    img.Put("bad.bin", Pattern(1500, 8));
    BootSector b;
    std::uint32_t endLast = 0, badLast = 0;
    {
        Opened o = OpenVolume(img.path());
        ASSERT_TRUE(o.volume);
        b = o.volume->boot();
        DirEntry e;
        ASSERT_EQ(o.volume->Find("end.bin", &e), FatError::kNone);
        endLast = e.firstCluster + 2;  // three clusters in a row on a fresh volume
        ASSERT_EQ(o.volume->Find("bad.bin", &e), FatError::kNone);
        badLast = e.firstCluster + 2;
    }
    const std::uint32_t lowestEnd = GetParam() == 12   ? 0xFF8
                                    : GetParam() == 16 ? 0xFFF8
                                                       : 0x0FFFFFF8;
    std::fstream f(img.path(), std::ios::in | std::ios::out | std::ios::binary);
    auto set = [&](std::uint32_t cluster, std::uint32_t value) {
        for (std::uint32_t copy = 0; copy < b.fatCount; ++copy) {
            std::uint64_t fat = b.fatOffset + copy * b.fatBytes;
            std::uint8_t bytes[4] = {};
            std::uint64_t at =
                fat + (GetParam() == 12 ? cluster + cluster / 2 : cluster * (GetParam() / 8));
            f.seekg(at);
            f.read(reinterpret_cast<char*>(bytes), 4);
            if (GetParam() == 12) {
                std::uint16_t v = ByteReader::LoadU16(bytes);
                v = (cluster & 1) ? static_cast<std::uint16_t>((v & 0x000F) | (value << 4))
                                  : static_cast<std::uint16_t>((v & 0xF000) | value);
                StoreU16(bytes, v);
            } else if (GetParam() == 16) {
                StoreU16(bytes, static_cast<std::uint16_t>(value));
            } else {
                StoreU32(bytes, value);
            }
            f.seekp(at);
            f.write(reinterpret_cast<char*>(bytes), GetParam() == 32 ? 4 : 2);
        }
    };
    set(endLast, lowestEnd);
    set(badLast, lowestEnd - 1);
    f.close();
    Opened o = OpenVolume(img.path());
    ASSERT_TRUE(o.volume);
    DirEntry e;
    std::string data;
    ASSERT_EQ(o.volume->Find("end.bin", &e), FatError::kNone);
    ASSERT_EQ(o.volume->Read(e, &data), FatError::kNone);
    EXPECT_EQ(data, Pattern(1500, 7));
    ASSERT_EQ(o.volume->Find("bad.bin", &e), FatError::kNone);
    EXPECT_EQ(o.volume->Read(e, &data), FatError::kCorrupt);
}

// Local time, seconds halved downwards, years 1980 to 2107.
TEST(FatVolume, StampsKeepEvenSecondsOfLocalTime) {
    const char* oldTz = getenv("TZ");
    std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "JST-9", 1);
    tzset();
    auto stamp = [](int year, int month, int day, int hour, int minute, int second) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        DosStamp s = DosStamp::FromTime(timegm(&tm) - 9 * 3600);
        return std::pair<int, int>(s.date, s.time);
    };
    EXPECT_EQ(stamp(2026, 6, 15, 12, 34, 59),
              std::make_pair((46 << 9) | (6 << 5) | 15, (12 << 11) | (34 << 5) | 29));
    EXPECT_EQ(stamp(2026, 6, 15, 23, 59, 58).second, (23 << 11) | (59 << 5) | 29);
    EXPECT_EQ(stamp(1980, 1, 1, 0, 0, 1), std::make_pair((1 << 5) | 1, 0));
    EXPECT_EQ(stamp(2107, 12, 31, 0, 0, 0).first, (127 << 9) | (12 << 5) | 31);
    // Outside FAT's years: its first and its last moment.
    EXPECT_EQ(stamp(1979, 12, 31, 23, 59, 59), std::make_pair((1 << 5) | 1, 0));
    EXPECT_EQ(stamp(2108, 1, 1, 0, 0, 0),
              std::make_pair((127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29));
    if (oldTz) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

// Windows 95 keeps double-byte characters in aliases, trail byte 0x5C
// included; fsck.fat reads such a byte as a backslash and would rename the
// entry. Our aliases keep the other double-byte characters and put '_' for
// those, so the volume stays clean for fsck.fat, and the long names are kept.
TEST(FatVolume, JapaneseAliasesKeepNoByte5C) {
    Image img;
    img.Format(16);
    const std::string name = "表示能力一覧表.txt", folder = "ソフト";
    {
        Opened o = OpenVolume(img.path());
        ASSERT_TRUE(o.volume);
        ASSERT_EQ(o.volume->MakeDirectory(folder, DosStamp{}), FatError::kNone);
        ASSERT_EQ(o.volume->WriteFile(folder + "\\" + name, "x", DosStamp{}), FatError::kNone);
        ASSERT_EQ(o.volume->WriteFile(folder + "\\" + "表示能力一覧.txt", "y", DosStamp{}),
                  FatError::kNone);
        ASSERT_EQ(o.volume->WriteFile(folder + "\\" + "示.TXT", "z", DosStamp{}), FatError::kNone);
        std::vector<DirEntry> list;
        DirEntry dir;
        ASSERT_EQ(o.volume->Find("ソフト", &dir), FatError::kNone);
        EXPECT_TRUE(dir.hasLongName);
        EXPECT_EQ(dir.shortName, "_フト~1");
        ASSERT_EQ(o.volume->List(dir.firstCluster, &list), FatError::kNone);
        ASSERT_EQ(list.size(), 3u);
        EXPECT_EQ(list[0].shortName, "_示_力~1.TXT");
        EXPECT_EQ(list[1].shortName, "_示_力~2.TXT");
        // A name without such a character is its own alias, as on Windows.
        EXPECT_EQ(list[2].shortName, "示.TXT");
        EXPECT_FALSE(list[2].hasLongName);
    }
    img.ExpectClean();
    EXPECT_EQ(img.Type(Utf8(folder + "/" + name)), "x");
    EXPECT_EQ(img.Type(Utf8(folder + "/表示能力一覧.txt")), "y");
}

INSTANTIATE_TEST_SUITE_P(Fat, FatTypes, ::testing::Values(12, 16, 32));

TEST(FatVolume, FixedRootFillsUpAndDamageIsRefused) {
    Image img;
    img.Format(12);  // 224 root slots
    Opened o = OpenVolume(img.path());
    ASSERT_TRUE(o.volume);
    Volume& v = *o.volume;
    FatError last = FatError::kNone;
    int made = 0;
    for (; made < 300 && last == FatError::kNone; ++made)
        last = v.WriteFile("F" + std::to_string(made), "", DosStamp{});
    EXPECT_EQ(last, FatError::kDiskFull);
    EXPECT_EQ(made, 225);
    o = Opened();
    img.ExpectClean();
}

TEST(FatVolume, LoopingChainAndBrokenLongNameAreCaught) {
    Image img;
    img.Format(16);
    img.Put("A long file name.txt", Pattern(1500, 5));
    // Cluster 3 points back at cluster 2 in both FATs; the checksum of the
    // long-name entry no longer matches its short entry.
    std::fstream f(img.path(), std::ios::in | std::ios::out | std::ios::binary);
    std::uint8_t boot[512];
    f.read(reinterpret_cast<char*>(boot), 512);
    std::uint32_t reserved = ByteReader::LoadU16(boot + 14),
                  perFat = ByteReader::LoadU16(boot + 22);
    for (std::uint32_t copy = 0; copy < 2; ++copy) {
        f.seekp((reserved + copy * perFat) * 512 + 3 * 2);
        f.write("\x02\x00", 2);
    }
    std::uint64_t root = (reserved + 2 * perFat) * 512ull;
    f.seekp(root + 13);
    f.write("\x00", 1);
    f.close();
    Opened o = OpenVolume(img.path());
    ASSERT_TRUE(o.volume);
    std::vector<DirEntry> list;
    ASSERT_EQ(o.volume->List(0, &list), FatError::kNone);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_FALSE(list[0].hasLongName);
    EXPECT_EQ(list[0].name, list[0].shortName);
    std::string data;
    EXPECT_EQ(o.volume->Read(list[0], &data), FatError::kCorrupt);
}

TEST(FatDevice, ASecondWriterIsLockedOut) {
    Image img;
    img.Format(12);
    FileDevice::OpenError e;
    auto first = FileDevice::Open(img.path(), true, &e);
    ASSERT_TRUE(first);
    EXPECT_FALSE(FileDevice::Open(img.path(), true, &e));
    EXPECT_EQ(e, FileDevice::OpenError::kLocked);
    first.reset();
    EXPECT_TRUE(FileDevice::Open(img.path(), true, &e));
}

// A disk with an MBR: a Linux partition, a FAT16 primary, and an extended
// partition holding a hidden FAT32 and a FAT12 logical partition.
TEST(FatPartitions, PrimaryAndLogicalVolumesAreFound) {
    Image img;
    const std::uint64_t kMiB = 2048;  // sectors
    struct Part {
        std::uint64_t first, count;
        int bits;
        std::uint8_t type;
    } parts[] = {{1 * kMiB, 9 * kMiB, 16, 0x06},
                 {12 * kMiB, 41 * kMiB, 32, 0x1B},
                 {54 * kMiB, 2 * kMiB, 12, 0x01}};
    std::uint64_t total = 57 * kMiB;
    { std::ofstream(img.path(), std::ios::binary); }
    ASSERT_EQ(truncate(img.path().c_str(), static_cast<off_t>(total * 512)), 0);
    auto entry = [](std::uint8_t* table, int slot, std::uint8_t type, std::uint64_t first,
                    std::uint64_t count) {
        std::uint8_t* e = table + 446 + slot * 16;
        e[4] = type;
        StoreU32(e + 8, static_cast<std::uint32_t>(first));
        StoreU32(e + 12, static_cast<std::uint32_t>(count));
    };
    std::uint8_t mbr[512] = {}, ebr1[512] = {}, ebr2[512] = {};
    entry(mbr, 0, 0x83, 10 * kMiB, kMiB);  // not FAT: skipped
    entry(mbr, 1, parts[0].type, parts[0].first, parts[0].count);
    entry(mbr, 2, 0x0F, 11 * kMiB, 46 * kMiB);
    entry(ebr1, 0, parts[1].type, kMiB, parts[1].count);
    entry(ebr1, 1, 0x05, 42 * kMiB, 3 * kMiB);
    entry(ebr2, 0, parts[2].type, kMiB, parts[2].count);
    for (auto* s : {mbr, ebr1, ebr2}) s[510] = 0x55, s[511] = 0xAA;
    std::fstream f(img.path(), std::ios::in | std::ios::out | std::ios::binary);
    f.write(reinterpret_cast<char*>(mbr), 512);
    f.seekp(11 * kMiB * 512);
    f.write(reinterpret_cast<char*>(ebr1), 512);
    f.seekp(53 * kMiB * 512);
    f.write(reinterpret_cast<char*>(ebr2), 512);
    f.close();
    for (const Part& p : parts) {
        std::string vol = img.dir() + "/vol.img";
        ASSERT_EQ(Shell("rm -f " + vol + " && mkfs.fat -C -s 1 -F " + std::to_string(p.bits) + " " +
                        vol + " " + std::to_string(p.count / 2) + " >/dev/null && dd if=" + vol +
                        " of=" + ShellQuote(img.path()) +
                        " bs=512 seek=" + std::to_string(p.first) + " conv=notrunc status=none"),
                  0);
        img.Put("NAME" + std::to_string(p.bits) + ".TXT", "in " + std::to_string(p.bits),
                "@@" + std::to_string(p.first * 512));
    }

    FileDevice::OpenError oe;
    auto device = FileDevice::Open(img.path(), true, &oe);
    ASSERT_TRUE(device);
    std::vector<Partition> found;
    ASSERT_EQ(ReadLayout(*device, &found), LayoutResult::kPartitioned);
    ASSERT_EQ(found.size(), 3u);
    const unsigned numbers[] = {2, 5, 6};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(found[i].number, numbers[i]);
        EXPECT_EQ(found[i].type, parts[i].type);
        EXPECT_EQ(found[i].firstByte, parts[i].first * 512);
        SliceDevice slice(device.get(), found[i].firstByte, found[i].byteCount);
        FatError fe;
        auto v = Volume::Open(&slice, &kCp932, &kCp932, &fe);
        ASSERT_TRUE(v);
        DirEntry e;
        std::string name = "NAME" + std::to_string(parts[i].bits) + ".TXT", data;
        ASSERT_EQ(v->Find(name, &e), FatError::kNone);
        ASSERT_EQ(v->Read(e, &data), FatError::kNone);
        EXPECT_EQ(data, "in " + std::to_string(parts[i].bits));
        ASSERT_EQ(v->WriteFile("new file.txt", "written", DosStamp{}), FatError::kNone);
    }
    device.reset();
    for (const Part& p : parts) {
        std::string out;
        EXPECT_EQ(
            Shell("mtype -i " + ShellQuote(img.path() + "@@" + std::to_string(p.first * 512)) +
                      " '::/new file.txt'",
                  &out),
            0);
        EXPECT_EQ(out, "written");
    }

    // A volume at byte 0 has no partition table.
    Image flat;
    flat.Format(16);
    auto flatDevice = FileDevice::Open(flat.path(), false, &oe);
    ASSERT_TRUE(flatDevice);
    EXPECT_EQ(ReadLayout(*flatDevice, &found), LayoutResult::kSuperfloppy);
}

TEST(FatImage, MsdosSysNamesTheWindowsFolder) {
    EXPECT_EQ(WinDirFromMsdosSys("[Paths]\r\nWinDir=D:\\WIN98\r\nWinBootDir=D:\\WIN98\r\n"),
              "D:\\WIN98");
    EXPECT_EQ(WinDirFromMsdosSys("[Options]\nWinDir=X\n[ paths ]\n  windir = C:\\表示\n"),
              "C:\\表示");
    EXPECT_EQ(WinDirFromMsdosSys(std::string("\xEB\x3C\x90MSDOS5.0\0WinDir=C:\\X", 20)), "");
}

// Images made by mkfs.fat and mcopy: the Windows partition of a disk is
// found through MSDOS.SYS, a fixed VHD is its raw disk, and the containers
// Sabrel does not read are named.
TEST(FatImage, FindsTheWindowsVolume) {
    Image img;
    std::string vol = img.dir() + "/vol.img", sys = img.dir() + "/msdos.sys";
    std::ofstream(sys) << "[Paths]\r\nWinDir=C:\\WIN98\r\n";
    // Two FAT16 partitions of 9 MiB; Windows is on the second.
    { std::ofstream(img.path(), std::ios::binary); }
    ASSERT_EQ(truncate(img.path().c_str(), 20 << 20), 0);
    std::uint8_t mbr[512] = {};
    for (int i = 0; i < 2; ++i) {
        std::uint8_t* e = mbr + 446 + i * 16;
        e[4] = 0x06;
        StoreU32(e + 8, 2048 + i * 9 * 2048);
        StoreU32(e + 12, 9 * 2048);
        ASSERT_EQ(Shell("rm -f " + vol + " && mkfs.fat -C -s 1 -F 16 " + vol +
                        " 9216 >/dev/null && dd if=" + vol + " of=" + ShellQuote(img.path()) +
                        " bs=1M seek=" + std::to_string(1 + 9 * i) + " conv=notrunc status=none"),
                  0);
    }
    mbr[510] = 0x55, mbr[511] = 0xAA;
    {
        std::fstream f(img.path(), std::ios::in | std::ios::out | std::ios::binary);
        f.write(reinterpret_cast<char*>(mbr), 512);
    }
    std::string second = "@@" + std::to_string(10 << 20);
    img.Put("MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WIN98\r\n", second);
    ASSERT_EQ(Shell("mmd -i " + ShellQuote(img.path() + second) + " ::/WIN98"), 0);
    img.Put("WIN98/SYSTEM.DAT", "hive", second);
    {
        OpenedImage o;
        ASSERT_EQ(OpenImage(img.path(), 0, true, &kCp932, &kCp932, &o), ImageError::kNone);
        EXPECT_EQ(o.partition, 2u);
        EXPECT_EQ(o.winDir, "C:\\WIN98");
        OpenedImage again;
        EXPECT_EQ(OpenImage(img.path(), 0, true, &kCp932, &kCp932, &again), ImageError::kLocked);
    }
    OpenedImage first;
    ASSERT_EQ(OpenImage(img.path(), 1, false, &kCp932, &kCp932, &first), ImageError::kNone);
    EXPECT_EQ(first.partition, 1u);
    first = OpenedImage();
    EXPECT_EQ(OpenImage(img.path(), 3, false, &kCp932, &kCp932, &first),
              ImageError::kNoSuchPartition);

    // The same disk as a fixed VHD: the footer follows the disk.
    std::uint8_t footer[512] = {};
    std::memcpy(footer, "conectix", 8);
    footer[63] = 2;
    {
        std::ofstream f(img.path(), std::ios::binary | std::ios::app);
        f.write(reinterpret_cast<char*>(footer), 512);
    }
    OpenedImage vhd;
    ASSERT_EQ(OpenImage(img.path(), 0, true, &kCp932, &kCp932, &vhd), ImageError::kNone);
    EXPECT_EQ(vhd.container, "VHD");
    EXPECT_EQ(vhd.partition, 2u);
    ASSERT_EQ(vhd.volume->WriteFile("WIN98\\SYSTEM.DAT", "new hive", DosStamp{}), FatError::kNone);
    vhd = OpenedImage();
    std::string out;
    Shell("tail -c 512 " + ShellQuote(img.path()) + " | head -c 8", &out);
    EXPECT_EQ(out, "conectix");
    Shell("mtype -i " + ShellQuote(img.path() + second) + " ::/WIN98/SYSTEM.DAT", &out);
    EXPECT_EQ(out, "new hive");

    footer[63] = 4;  // differencing
    std::string dyn = img.dir() + "/dyn.vhd";
    std::ofstream(dyn, std::ios::binary).write(reinterpret_cast<char*>(footer), 512);
    OpenedImage o;
    EXPECT_EQ(OpenImage(dyn, 0, false, &kCp932, &kCp932, &o), ImageError::kUnsupportedVhd);
    const std::pair<std::string, std::string> foreign[] = {
        {std::string("QFI\xFB\0\0\0\3", 8), "qcow2"},
        {"# Disk DescriptorFile\nversion=1\n", "VMDK"},
        {std::string(0x40, '<') + std::string("\x7F\x10\xDA\xBE", 4), "VDI"}};
    for (const auto& [head, name] : foreign) {
        std::ofstream(dyn, std::ios::binary) << head << std::string(1024, '\0');
        o = OpenedImage();
        EXPECT_EQ(OpenImage(dyn, 0, false, &kCp932, &kCp932, &o), ImageError::kForeignContainer);
        EXPECT_EQ(o.foreign, name);
    }
}

}  // namespace
}  // namespace sabrel::platform::offline::fat
