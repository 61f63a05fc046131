// SPDX-License-Identifier: MIT
// Dynamic VHD: images that qemu-img made are read and written, and what is
// written reads back through qemu-img, mtools and fsck.fat; a write killed at
// any point leaves an image that opens with every earlier file intact.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/offline/codepage.h"
#include "platform/offline/fat/block_device.h"
#include "platform/offline/fat/image.h"
#include "platform/offline/fat/vhd.h"
#include "platform/offline/fat/volume.h"

namespace sabrel::platform::offline::fat {
namespace {

const CodePage kCp932(932);

int Sh(const std::string& cmd, std::string* out = nullptr) {
    FILE* p = popen(("export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8; " + cmd + " 2>&1").c_str(), "r");
    std::string text;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void PutBig(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) b[at + static_cast<std::size_t>(i)] = v & 0xFF;
}

// An empty dynamic VHD of `size` bytes with blocks of `blockSize`, laid out
// as the published format has it: footer copy, dynamic header, table, footer.
std::vector<std::uint8_t> EmptyDynamicVhd(std::uint64_t size, std::uint32_t blockSize) {
    const std::uint32_t entries = static_cast<std::uint32_t>((size + blockSize - 1) / blockSize);
    const std::size_t table = (entries * 4 + 511) / 512 * 512;
    std::vector<std::uint8_t> footer(512, 0), header(1024, 0);
    std::memcpy(footer.data(), "conectix", 8);
    PutBig(footer, 8, 2, 4);
    PutBig(footer, 12, 0x10000, 4);
    PutBig(footer, 16, 512, 8);
    PutBig(footer, 40, size, 8);
    PutBig(footer, 48, size, 8);
    PutBig(footer, 60, 3, 4);
    PutBig(footer, 64, VhdChecksum(footer.data(), 512, 64), 4);
    std::memcpy(header.data(), "cxsparse", 8);
    PutBig(header, 8, ~std::uint64_t{0}, 8);
    PutBig(header, 16, 1536, 8);
    PutBig(header, 24, 0x10000, 4);
    PutBig(header, 28, entries, 4);
    PutBig(header, 32, blockSize, 4);
    PutBig(header, 36, VhdChecksum(header.data(), 1024, 36), 4);
    std::vector<std::uint8_t> image = footer;
    image.insert(image.end(), header.begin(), header.end());
    image.insert(image.end(), table, 0xFF);
    image.insert(image.end(), footer.begin(), footer.end());
    return image;
}

class VhdDir : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Sh("command -v qemu-img") != 0) GTEST_SKIP() << "qemu-img (qemu-utils) is missing";
        char tmpl[] = "/tmp/sabrel-vhd-XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    // A FAT16 volume made by mkfs.fat and filled by mcopy, as a dynamic VHD
    // made by qemu-img.
    std::string QemuVhd() {
        const std::string raw = dir_ + "/disk.img", vhd = dir_ + "/disk.vhd";
        std::ofstream(dir_ + "/hive.bin", std::ios::binary) << std::string(5000, 'h');
        EXPECT_EQ(
            Sh("mkfs.fat -C -F 16 " + raw + " 16384 >/dev/null && mmd -i " + raw +
               " ::/WINDOWS && mcopy -i " + raw + " " + dir_ + "/hive.bin ::/WINDOWS/SYSTEM.DAT"),
            0);
        EXPECT_EQ(Sh("qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on " + raw +
                     " " + vhd),
                  0);
        return vhd;
    }
    std::string dir_;
};

TEST_F(VhdDir, QemuImagesAreReadAndWrittenAndQemuReadsThemBack) {
    const std::string vhd = QemuVhd();
    const std::string big(3 * 1024 * 1024 + 777, 'x');
    std::size_t blocksBefore = 0;
    {
        OpenedImage o;
        ASSERT_EQ(OpenImage(vhd, 0, true, &kCp932, &kCp932, &o), ImageError::kNone);
        ASSERT_TRUE(o.vhd);
        EXPECT_EQ(o.container, "VHD");
        EXPECT_EQ(o.winDir, "C:\\WINDOWS");
        EXPECT_EQ(o.vhd->Size(), 16384u * 1024);
        blocksBefore = o.vhd->allocatedBlocks();
        DirEntry e;
        std::string text;
        ASSERT_EQ(o.volume->Find("WINDOWS\\SYSTEM.DAT", &e), FatError::kNone);
        ASSERT_EQ(o.volume->Read(e, &text), FatError::kNone);
        EXPECT_EQ(text, std::string(5000, 'h'));
        // More than a block of new data, most of it where no block was.
        ASSERT_EQ(o.volume->WriteFile("WINDOWS\\Long file name.dat", big, DosStamp{}),
                  FatError::kNone);
        ASSERT_EQ(o.volume->WriteFile("WINDOWS\\SYSTEM.DAT", "rebuilt", DosStamp{}),
                  FatError::kNone);
        EXPECT_GT(o.vhd->allocatedBlocks(), blocksBefore);
    }
    // Both copies of the footer agree, and qemu-img reads the disk back.
    std::vector<std::uint8_t> bytes = ReadAll(vhd);
    ASSERT_EQ(bytes.size() % 512, 0u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 512, bytes.end() - 512));
    std::string out;
    ASSERT_EQ(Sh("qemu-img convert -f vpc -O raw " + vhd + " " + dir_ + "/back.img", &out), 0)
        << out;
    EXPECT_EQ(Sh("fsck.fat -n " + dir_ + "/back.img", &out), 0) << out;
    ASSERT_EQ(Sh("mtype -i " + dir_ + "/back.img ::/WINDOWS/SYSTEM.DAT", &out), 0);
    EXPECT_EQ(out, "rebuilt");
    ASSERT_EQ(Sh("mtype -i " + dir_ + "/back.img '::/WINDOWS/Long file name.dat'", &out), 0) << out;
    EXPECT_EQ(out, big);

    // A copy that lost the footer at its end opens through the copy at offset 0.
    std::filesystem::resize_file(vhd, bytes.size() - 512);
    OpenedImage cut;
    ASSERT_EQ(OpenImage(vhd, 0, false, &kCp932, &kCp932, &cut), ImageError::kNone);
    DirEntry e;
    ASSERT_EQ(cut.volume->Find("WINDOWS\\SYSTEM.DAT", &e), FatError::kNone);
    EXPECT_EQ(e.size, 7u);
}

// A device that stops taking writes after `budget` of them, as a process
// killed there would have left its file; it notes where the file grew.
class KilledDevice : public BlockDevice {
  public:
    KilledDevice(MemoryDevice* base, int budget) : base_(base), budget_(budget) {}
    std::uint64_t Size() const override { return base_->Size(); }
    bool Read(std::uint64_t o, void* out, std::size_t n) override { return base_->Read(o, out, n); }
    bool Write(std::uint64_t o, const void* d, std::size_t n) override {
        return Take() && base_->Write(o, d, n);
    }
    bool Grow(std::uint64_t size, const void* tail, std::size_t n) override {
        grows.push_back(writes);
        return Take() && base_->Grow(size, tail, n);
    }
    bool Flush() override { return true; }
    int writes = 0;
    std::vector<int> grows;

  private:
    bool Take() { return writes++ < budget_; }
    MemoryDevice* base_;
    int budget_;
};

TEST_F(VhdDir, AKilledWriteLeavesAnImageThatOpensWithItsFilesIntact) {
    const std::vector<std::uint8_t> start = ReadAll(QemuVhd());
    const std::vector<std::uint8_t> footer(start.end() - 512, start.end());
    const std::string big(5 * 1024 * 1024 + 4096, 'n');
    // Writes the file with the device killed after `budget` writes; true when
    // the write finished.
    auto attempt = [&](int budget, MemoryDevice* memory, std::unique_ptr<KilledDevice>* dev) {
        *dev = std::make_unique<KilledDevice>(memory, budget);
        auto disk = DynamicVhd::Open(dev->get(), footer.data());
        EXPECT_TRUE(disk);
        if (!disk) return false;
        FatError fe;
        auto v = Volume::Open(disk.get(), &kCp932, &kCp932, &fe);
        EXPECT_TRUE(v);
        return v && v->WriteFile("WINDOWS\\NEW.DAT", big, DosStamp{}) == FatError::kNone;
    };
    // A run without a kill counts the writes, and the sweep kills at each.
    MemoryDevice whole(start);
    std::unique_ptr<KilledDevice> dry;
    ASSERT_TRUE(attempt(1 << 30, &whole, &dry));
    const int total = dry->writes;
    ASSERT_GE(dry->grows.size(), 2u) << "the file should need new blocks";
    ASSERT_LT(total, 200);
    MemoryDevice startFile(start);
    auto startDisk = DynamicVhd::Open(&startFile, footer.data());
    auto endDisk = DynamicVhd::Open(&whole, whole.bytes().data() + whole.Size() - 512);
    ASSERT_TRUE(startDisk && endDisk);
    std::vector<int> budgets;
    for (int b = 0; b <= total; ++b) budgets.push_back(b);
    int points = 0;
    for (int budget : budgets) {
        MemoryDevice memory(start);
        std::unique_ptr<KilledDevice> dev;
        const bool finished = attempt(budget, &memory, &dev);
        EXPECT_EQ(finished, budget == total) << budget;
        const std::string path = dir_ + "/killed.vhd";
        WriteAll(path, memory.bytes());
        OpenedImage o;
        ASSERT_EQ(OpenImage(path, 0, false, &kCp932, &kCp932, &o), ImageError::kNone)
            << "killed after " << budget << " writes";
        DirEntry e;
        std::string text;
        ASSERT_EQ(o.volume->Find("WINDOWS\\SYSTEM.DAT", &e), FatError::kNone);
        ASSERT_EQ(o.volume->Read(e, &text), FatError::kNone);
        EXPECT_EQ(text, std::string(5000, 'h')) << "killed after " << budget << " writes";
        if (o.volume->Find("WINDOWS\\NEW.DAT", &e) == FatError::kNone && e.size == big.size()) {
            ASSERT_EQ(o.volume->Read(e, &text), FatError::kNone);
            EXPECT_EQ(text, big) << "killed after " << budget << " writes";
        }
        // Every sector of the disk holds what it held before or after.
        std::vector<std::uint8_t> got(o.disk->Size()), before(got.size()), after(got.size());
        ASSERT_TRUE(o.disk->Read(0, got.data(), got.size()));
        ASSERT_TRUE(startDisk->Read(0, before.data(), before.size()));
        ASSERT_TRUE(endDisk->Read(0, after.data(), after.size()));
        for (std::size_t at = 0; at < got.size(); at += 512) {
            ASSERT_TRUE(std::equal(&got[at], &got[at] + 512, &before[at]) ||
                        std::equal(&got[at], &got[at] + 512, &after[at]))
                << "sector " << at / 512 << " killed after " << budget << " writes";
        }
        o = OpenedImage();
        std::string out;
        ASSERT_EQ(Sh("qemu-img convert -f vpc -O raw " + path + " " + dir_ + "/k.img", &out), 0)
            << out << " killed after " << budget << " writes";
        const int rc = Sh("fsck.fat -n " + dir_ + "/k.img", &out);
        EXPECT_TRUE(rc == 0 || finished == false) << out;
        ++points;
    }
    EXPECT_EQ(points, total + 1);
    RecordProperty("kill_points", points);
}

// A VHD of 64 KiB in blocks of 4 KiB whose first block is allocated by hand,
// its data area full of 0xAA and only its second sector marked present.
std::vector<std::uint8_t> WithOneBlock() {
    std::vector<std::uint8_t> image = EmptyDynamicVhd(64 * 1024, 4096);
    const std::uint64_t at = image.size() - 512;
    image.insert(image.end() - 512, 512 + 4096, 0xAA);
    std::fill(image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at) + 512,
              0);
    image[at] = 0x40;
    PutBig(image, 1536, at / 512, 4);
    return image;
}

TEST(Vhd, SectorsTheBitmapLacksReadAsZerosAndStayZeroAroundAPartialWrite) {
    std::vector<std::uint8_t> image = WithOneBlock();
    MemoryDevice file(image);
    std::vector<std::uint8_t> footer(image.end() - 512, image.end());
    auto disk = DynamicVhd::Open(&file, footer.data());
    ASSERT_TRUE(disk);
    std::vector<std::uint8_t> got(4096 + 512);
    ASSERT_TRUE(disk->Read(0, got.data(), got.size()));
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], i >= 512 && i < 1024 ? 0xAA : 0) << "byte " << i;
    }
    // Bytes 1000..1099 span the present sector and an absent one.
    std::vector<std::uint8_t> ones(100, 1);
    ASSERT_TRUE(disk->Write(1000, ones.data(), ones.size()));
    ASSERT_TRUE(disk->Read(0, got.data(), got.size()));
    for (std::size_t i = 0; i < got.size(); ++i) {
        const int want = i >= 1000 && i < 1100 ? 1 : i >= 512 && i < 1024 ? 0xAA : 0;
        ASSERT_EQ(got[i], want) << "byte " << i;
    }
    // A write of zeros where no block is allocates nothing; other bytes do,
    // beyond the table's block, and the reopened image reads the same.
    std::vector<std::uint8_t> zeros(512, 0);
    ASSERT_TRUE(disk->Write(20000, zeros.data(), zeros.size()));
    EXPECT_EQ(disk->allocatedBlocks(), 1u);
    ASSERT_TRUE(disk->Write(60000, ones.data(), ones.size()));
    EXPECT_EQ(disk->allocatedBlocks(), 2u);
    std::vector<std::uint8_t> after = file.bytes();
    ASSERT_TRUE(std::equal(after.begin(), after.begin() + 512, after.end() - 512));
    MemoryDevice reopened(after);
    auto again = DynamicVhd::Open(&reopened, after.data() + after.size() - 512);
    ASSERT_TRUE(again);
    std::vector<std::uint8_t> tail(100);
    ASSERT_TRUE(again->Read(60000, tail.data(), tail.size()));
    EXPECT_EQ(tail, ones);
    EXPECT_FALSE(again->Write(64 * 1024 - 10, ones.data(), ones.size()));
}

TEST(Vhd, BlocksOfFewerSectorsThanABitmapByteHoldsKeepTheirData) {
    // A block of 2 KiB has four sectors: its bitmap is still a whole sector.
    const std::vector<std::uint8_t> image = EmptyDynamicVhd(16 * 1024, 2048);
    MemoryDevice file(image);
    auto disk = DynamicVhd::Open(&file, image.data() + image.size() - 512);
    ASSERT_TRUE(disk);
    std::vector<std::uint8_t> data(5000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251 + 1);
    ASSERT_TRUE(disk->Write(3000, data.data(), data.size()));
    EXPECT_EQ(file.Size(), image.size() + 3 * (512 + 2048));
    const std::vector<std::uint8_t> grown = file.bytes();
    MemoryDevice again(grown);
    auto reopened = DynamicVhd::Open(&again, grown.data() + grown.size() - 512);
    ASSERT_TRUE(reopened);
    std::vector<std::uint8_t> back(data.size());
    ASSERT_TRUE(reopened->Read(3000, back.data(), back.size()));
    EXPECT_EQ(back, data);
}

TEST(Vhd, HostileHeadersAreRefused) {
    const std::vector<std::uint8_t> good = EmptyDynamicVhd(1 << 20, 4096);
    auto opens = [](std::vector<std::uint8_t> image, bool fixSum) {
        if (fixSum) PutBig(image, 512 + 36, VhdChecksum(image.data() + 512, 1024, 36), 4);
        MemoryDevice file(image);
        return DynamicVhd::Open(&file, image.data() + image.size() - 512) != nullptr;
    };
    EXPECT_TRUE(opens(good, false));
    std::vector<std::uint8_t> bad = good;
    bad[512 + 40] ^= 1;  // the header checksum no longer fits
    EXPECT_FALSE(opens(bad, false));
    bad = good;
    PutBig(bad, 512 + 32, 3000, 4);  // block size not a power of two
    EXPECT_FALSE(opens(bad, true));
    bad = good;
    PutBig(bad, 512 + 28, 100, 4);  // a table too small for the disk
    EXPECT_FALSE(opens(bad, true));
    bad = good;
    PutBig(bad, 512 + 16, 0xFFFFFFF0, 8);  // the table outside the file
    EXPECT_FALSE(opens(bad, true));
    bad = good;
    PutBig(bad, 1536 + 8, 4, 4);  // a block that runs past the footer
    EXPECT_FALSE(opens(bad, true));
    // Blocks that share bytes with another or with the table, which a write
    // through them would change.
    const std::vector<std::uint8_t> one = WithOneBlock();
    EXPECT_TRUE(opens(one, false));
    bad = one;
    std::copy(&one[1536], &one[1540], &bad[1540]);
    EXPECT_FALSE(opens(bad, false));
    bad = one;
    PutBig(bad, 1536, 3, 4);
    EXPECT_FALSE(opens(bad, false));
}

}  // namespace
}  // namespace sabrel::platform::offline::fat
