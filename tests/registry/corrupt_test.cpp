// SPDX-License-Identifier: MIT
// Damaged hive files: the loader refuses them with a Win32 code and never
// reads outside the file; what it tolerates it reads completely.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/byte_reader.h"
#include "creg/creg_reader.h"
#include "creg/creg_writer.h"
#include "creg/synth.h"
#include "platform/platform.h"

namespace sabrel::hive {
namespace {

constexpr std::uint32_t kBadDb = platform::kErrorBadregistryFile;
constexpr std::uint32_t kCorrupt = platform::kErrorRegistryCorrupt;

std::vector<std::uint8_t> Small() {
    SynthOptions o;
    o.seed = 21;
    o.keys = 40;
    return Synthesize(o);
}

std::uint32_t Load(const std::vector<std::uint8_t>& bytes) {
    CregTree t;
    return LoadHive(bytes, &t);
}

// Offsets in the compact file: RGKN at 0x20, root slot at 0x40, first key
// (the root's first child) at 0x5C, block 0 at 0x20 + RGKN size.
constexpr std::size_t kFirstKey = 0x20 + 0x3C;
std::size_t Block0(const std::vector<std::uint8_t>& f) {
    return ByteReader::LoadU32(f.data() + 8);
}

TEST(Corrupt, SignaturesGive1009) {
    std::vector<std::uint8_t> f = Small();
    EXPECT_EQ(Load({}), kBadDb);
    auto g = f;
    g[0] = 'c';
    EXPECT_EQ(Load(g), kBadDb);
    g = f;
    g[0x20] = 'X';
    EXPECT_EQ(Load(g), kBadDb);
}

TEST(Corrupt, EveryTruncationIsRefused) {
    std::vector<std::uint8_t> f = Small();
    for (std::size_t n = 0; n < f.size(); n += (n < 0x2100 ? 1 : 7)) {
        std::vector<std::uint8_t> g(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n));
        std::uint32_t code = Load(g);
        ASSERT_TRUE(code == kBadDb || code == kCorrupt) << "length " << n << " gave " << code;
    }
    EXPECT_EQ(Load(f), 0u);
}

TEST(Corrupt, StructuralDamageGives1015) {
    std::vector<std::uint8_t> f = Small();
    std::size_t b0 = Block0(f);
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint32_t value;
        int width;
    } cases[] = {
        {"block count beyond the blocks", 0x10, 2, 2},
        {"rgdb offset past EOF", 8, 0x7FFFFF00, 4},
        {"block signature", b0, 0x42444752 + 1, 4},
        {"block size past EOF", b0 + 4, 0x100000, 4},
        {"block size below its header", b0 + 4, 8, 4},
        {"first record length 8", b0 + 0x20, 8, 4},
        {"first record runs past the block", b0 + 0x20, 0x10000, 4},
        {"key points to a missing id", kFirstKey + 24, 200, 2},
        {"key points to a missing block", kFirstKey + 26, 9, 2},
        {"sibling link to itself", kFirstKey + 20, 0x3C, 4},
        {"child link to the root", kFirstKey + 16, 0x20, 4},
        {"child link out of the area", kFirstKey + 16, 0x1FFF0, 4},
        {"root link into the header", 0x28, 4, 4},
        {"name longer than the record", b0 + 0x20 + 12, 0xFFFF, 2},
        {"one value too many", b0 + 0x20 + 14, 0xFFFF, 2},
        {"used size below the name", b0 + 0x20 + 8, 20, 4},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> g = f;
        if (c.width == 2) {
            StoreU16(g.data() + c.offset, static_cast<std::uint16_t>(c.value));
        } else {
            StoreU32(g.data() + c.offset, c.value);
        }
        EXPECT_EQ(Load(g), kCorrupt) << c.what;
    }
}

TEST(Corrupt, ToleratedOddities) {
    std::vector<std::uint8_t> f = Small();
    CregTree base;
    ASSERT_EQ(LoadHive(f, &base), 0u);
    // Bytes after the last block, a stale +0x08 and a wrong parent link, a
    // record +0x06 that names another block, link 0 as "none": content stays.
    auto g = f;
    g.insert(g.end(), 16, 0);
    StoreU32(g.data() + kFirstKey + 8, 0x30303030);
    StoreU32(g.data() + kFirstKey + 12, 0x1234);
    StoreU16(g.data() + Block0(g) + 0x20 + 6, 7);
    CregTree t;
    ASSERT_EQ(LoadHive(g, &t), 0u);
    EXPECT_EQ(CompactBytes(t), CompactBytes(base));

    g = f;
    StoreU32(g.data() + kFirstKey + 16, 0);  // first key loses its children
    ASSERT_EQ(LoadHive(g, &t), 0u);
    EXPECT_LT(t.KeyCount(), base.KeyCount());
}

// A hand-made hive as small as the format allows: a 0x100-byte key area
// and one block just large enough for its records, whose ids are 7 and 300
// (an id above 254, which Windows never writes but the format can hold).
std::vector<std::uint8_t> Tiny() {
    std::vector<std::uint8_t> f(0x20 + 0x100, 0);
    std::memcpy(f.data(), "CREG", 4);
    StoreU32(f.data() + 8, 0x120);
    StoreU16(f.data() + 0x10, 1);
    std::memcpy(f.data() + 0x20, "RGKN", 4);
    StoreU32(f.data() + 0x24, 0x100);
    StoreU32(f.data() + 0x28, 0x20);
    const std::uint32_t entry[3] = {0x20, 0x3C, 0x58};
    const std::uint16_t ids[3] = {0xFFFF, 7, 300};
    for (int i = 0; i < 3; ++i) {
        std::uint8_t* e = f.data() + 0x20 + entry[i];
        StoreU32(e + 4, i == 0 ? 0 : 0x1A0);
        StoreU32(e + 12, i == 0 ? 0xFFFFFFFFu : 0x20);
        StoreU32(e + 16, i == 0 ? 0x3C : 0xFFFFFFFFu);
        StoreU32(e + 20, i == 1 ? 0x58 : 0xFFFFFFFFu);
        StoreU16(e + 24, ids[i]);
        StoreU16(e + 26, i == 0 ? 0xFFFF : 0);
    }
    std::vector<std::uint8_t> block(0x20 + 2 * 24, 0);
    std::memcpy(block.data(), "RGDB", 4);
    StoreU32(block.data() + 4, static_cast<std::uint32_t>(block.size()));
    for (int i = 0; i < 2; ++i) {
        std::uint8_t* r = block.data() + 0x20 + 24 * i;
        StoreU32(r, 24);
        StoreU16(r + 4, ids[i + 1]);
        StoreU32(r + 8, 24);
        StoreU16(r + 12, 4);
        std::memcpy(r + 20, i ? "KeyB" : "KeyA", 4);
    }
    f.insert(f.end(), block.begin(), block.end());
    return f;
}

TEST(Corrupt, TinyBlocksAndHighIdsLoad) {
    std::vector<std::uint8_t> f = Tiny();
    CregTree t;
    ASSERT_EQ(LoadHive(f, &t), 0u);
    ASSERT_EQ(t.KeyCount(), 3u);
    EXPECT_EQ(t.NameString(t.Key(t.Key(0).firstChild)), "KeyA");
    EXPECT_EQ(t.NameString(t.Key(t.LastChild(0))), "KeyB");
    CregTree again;
    ASSERT_EQ(LoadHive(CompactBytes(t), &again), 0u);
    EXPECT_EQ(again.NameString(again.Key(again.LastChild(0))), "KeyB");

    // Two entries that name one record both read it; of two records that
    // carry one id, the first is the one read.
    std::vector<std::uint8_t> g = f;
    StoreU16(g.data() + 0x20 + 0x58 + 24, 7);
    StoreU16(g.data() + 0x120 + 0x20 + 24 + 4, 7);
    ASSERT_EQ(LoadHive(g, &t), 0u);
    ASSERT_EQ(t.KeyCount(), 3u);
    EXPECT_EQ(t.NameString(t.Key(t.Key(0).firstChild)), "KeyA");
    EXPECT_EQ(t.NameString(t.Key(t.LastChild(0))), "KeyA");

    StoreU16(f.data() + 0x20 + 0x58 + 24, 301);  // no record with that id
    EXPECT_EQ(Load(f), kCorrupt);
}

// Every single-byte change of the headers, the first key entries and the
// first records is either refused or read into a tree that writes a file
// which loads again; never a crash (the sanitizer builds watch memory).
TEST(Corrupt, ByteFlipsNeverBreakTheLoader) {
    std::vector<std::uint8_t> f = Small();
    std::vector<std::size_t> spots;
    for (std::size_t i = 0; i < 0x40 + 28 * 8; ++i) spots.push_back(i);
    for (std::size_t i = 0; i < 0x200; ++i) spots.push_back(Block0(f) + i);
    for (std::size_t at : spots) {
        for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
            std::vector<std::uint8_t> g = f;
            g[at] ^= flip;
            CregTree t;
            std::uint32_t code = LoadHive(g, &t);
            if (code == 0) {
                CregTree again;
                ASSERT_EQ(LoadHive(CompactBytes(t), &again), 0u) << "offset " << at;
            } else {
                ASSERT_TRUE(code == kBadDb || code == kCorrupt) << "offset " << at;
            }
        }
    }
}

}  // namespace
}  // namespace sabrel::hive
