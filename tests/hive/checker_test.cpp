// SPDX-License-Identifier: MIT
#include "hive/checker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/hive/file_platform.h"
#include "tests/hive/hive_image.h"

namespace sabrel::hive {
namespace {

using test::Baseline;
using test::EntryAt;
using test::HiveImage;
namespace L = layout;

struct Outcome {
    std::int32_t status, good, bad, ghost;
    bool operator==(const Outcome& o) const {
        return status == o.status && good == o.good && bad == o.bad && ghost == o.ghost;
    }
};
void PrintTo(const Outcome& o, std::ostream* os) {
    *os << "status " << o.status << ", good " << o.good << ", bad " << o.bad << ", ghost "
        << o.ghost;
}

Outcome Check(const std::vector<std::uint8_t>& bytes,
              const ByteClasses& classes = ByteClasses::ForCodePage(932)) {
    HiveChecker checker(classes);
    checker.CheckImage(bytes.data(), bytes.size());
    return {checker.status, checker.result.goodKeys, checker.result.badKeys,
            checker.result.ghostKeys};
}
Outcome Check(const HiveImage& h) {
    return Check(h.bytes);
}

// Entry links and record fields of the baseline, by place.
void SetLink(HiveImage& h, std::int32_t entry, int field, std::int32_t to) {
    h.I32(EntryAt(entry) + field, to);
}
void SetEntryRecord(HiveImage& h, std::int32_t entry, std::uint16_t keyId, std::uint16_t block) {
    h.U16(EntryAt(entry) + L::keynode::kKeyId, keyId);
    h.U16(EntryAt(entry) + L::keynode::kBlockNumber, block);
}

TEST(HiveChecker, BaselineHasThreeGoodKeys) {
    EXPECT_EQ(Check(Baseline()), (Outcome{0, 3, 0, 0}));
}

// --- Header and block table: every failure before the walk counts nothing --

TEST(HiveChecker, HeaderFailures) {
    HiveImage h = Baseline();
    EXPECT_EQ(Check(std::vector<std::uint8_t>(h.bytes.begin(), h.bytes.begin() + 31)),
              (Outcome{1, 0, 0, 0}));
    HiveImage lower = Baseline();
    lower.Text(0, "creg");
    EXPECT_EQ(Check(lower), (Outcome{2, 0, 0, 0}));

    // Exactly 32 bytes of header with no data blocks: no key-node header.
    std::vector<std::uint8_t> headerOnly(h.bytes.begin(), h.bytes.begin() + 32);
    headerOnly[L::creg::kBlockCount] = 0;
    EXPECT_EQ(Check(headerOnly), (Outcome{3, 0, 0, 0}));
    headerOnly.resize(63);
    EXPECT_EQ(Check(headerOnly), (Outcome{3, 0, 0, 0}));

    HiveImage noRgkn = Baseline();
    noRgkn.Text(L::rgkn::kFileOffset, "RGKM");
    EXPECT_EQ(Check(noRgkn), (Outcome{4, 0, 0, 0}));
}

TEST(HiveChecker, BlockTableFailures) {
    HiveImage beyond = Baseline();
    beyond.I32(L::creg::kDataOffset, static_cast<std::int32_t>(test::kEnd));
    EXPECT_EQ(Check(beyond), (Outcome{7, 0, 0, 0}));

    HiveImage negative = Baseline();
    negative.I32(L::creg::kDataOffset, -32);
    EXPECT_EQ(Check(negative), (Outcome{7, 0, 0, 0}));

    // Block 1's header cut off by the end of the file.
    HiveImage cut = Baseline();
    cut.bytes.resize(test::kBlock1 + 31);
    EXPECT_EQ(Check(cut), (Outcome{7, 0, 0, 0}));

    // Block 0's size leads outside the file: block 1 cannot be read.
    HiveImage longBlock = Baseline();
    longBlock.I32(test::kBlock0 + L::rgdb::kBlockSize, 0x7FFFFFFF);
    EXPECT_EQ(Check(longBlock), (Outcome{7, 0, 0, 0}));

    // The data blocks are examined before the key-node header.
    HiveImage both = Baseline();
    both.Text(test::kBlock1, "RGDb");
    EXPECT_EQ(Check(both), (Outcome{8, 0, 0, 0}));
    both.Text(L::rgkn::kFileOffset, "XXXX");
    EXPECT_EQ(Check(both), (Outcome{8, 0, 0, 0}));
}

TEST(HiveChecker, TrailingBytesAfterLastBlockAreNotRead) {
    HiveImage h = Baseline();
    h.Grow(test::kEnd + 100);
    h.Text(test::kEnd, "junk");
    EXPECT_EQ(Check(h), (Outcome{0, 3, 0, 0}));
}

// --- Walk -------------------------------------------------------------------

TEST(HiveChecker, NoDataBlocks) {
    // A root entry that refers to a record, with no block at all.
    HiveImage h = Baseline();
    h.U16(L::creg::kBlockCount, 0);
    SetEntryRecord(h, test::kRoot, 0, 0);
    EXPECT_EQ(Check(h), (Outcome{11, 0, 0, 0}));
    // A lone root without a record.
    SetEntryRecord(h, test::kRoot, 0xFFFF, 0);
    SetLink(h, test::kRoot, L::keynode::kFirstChild, -1);
    EXPECT_EQ(Check(h), (Outcome{0, 0, 0, 0}));
}

TEST(HiveChecker, EntriesWithoutRecordStillLeadToTheirChildren) {
    HiveImage h = Baseline();
    SetEntryRecord(h, test::kSoftware, 1, 0xFFFF);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 0}));
    SetEntryRecord(h, test::kSoftware, 0xFFFF, 0);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 0}));
    // A record id nobody entered: passed over, status cleared.
    SetEntryRecord(h, test::kSoftware, 5, 0);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 0}));
}

TEST(HiveChecker, KeyIdAndBlockNumberAreNotSwapped) {
    // Sub is id 0 of block 1; read the other way round it would be Software.
    HiveImage h = Baseline();
    SetEntryRecord(h, test::kSub, 1, 0);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 1}));
}

TEST(HiveChecker, LinksOfZeroOrLessMeanNone) {
    HiveImage h = Baseline();
    SetLink(h, test::kAbc, L::keynode::kNextSibling, 0);
    EXPECT_EQ(Check(h), (Outcome{0, 1, 0, 0}));
    SetLink(h, test::kAbc, L::keynode::kNextSibling, -5);
    EXPECT_EQ(Check(h), (Outcome{0, 1, 0, 0}));
}

TEST(HiveChecker, RootIsClassifiedOnceLikeAnyKey) {
    HiveImage h = Baseline();
    SetEntryRecord(h, test::kRoot, 0, 0);
    h.U32(EntryAt(test::kRoot) + L::keynode::kNameHash, test::kAbcHash);
    EXPECT_EQ(Check(h), (Outcome{0, 4, 0, 0}));
}

TEST(HiveChecker, UnreadableEntryKeepsCountsMadeBefore) {
    HiveImage h = Baseline();
    SetLink(h, test::kSoftware, L::keynode::kFirstChild, 0x7FFFFFF0);
    EXPECT_EQ(Check(h), (Outcome{5, 2, 0, 0}));
    // The root offset is taken as stored: from Software, the walk climbs to
    // the real root and ends there.
    HiveImage root = Baseline();
    root.I32(L::rgkn::kFileOffset + L::rgkn::kRootOffset, test::kSoftware);
    EXPECT_EQ(Check(root), (Outcome{0, 2, 0, 0}));
    root.I32(L::rgkn::kFileOffset + L::rgkn::kRootOffset, -100);
    EXPECT_EQ(Check(root), (Outcome{5, 0, 0, 0}));
}

// --- Key index --------------------------------------------------------------

TEST(HiveChecker, LastRecordIndexBoundsEnteredRecords) {
    HiveImage h = Baseline();
    h.U16(test::kBlock0 + L::rgdb::kMaxId, 0);  // only abc, the first non-free one
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 0}));
}

TEST(HiveChecker, RecordPastBlockEndEndsTheBlock) {
    HiveImage h = Baseline();
    h.I32(test::kFreeRecord + L::record::kLength, 0xE1);  // 1 byte past the end
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 0}));           // Software is not entered
    h.I32(test::kAbcRecord + L::record::kLength, 0xE1);
    EXPECT_EQ(Check(h), (Outcome{0, 1, 0, 0}));
}

TEST(HiveChecker, LaterRecordWinsItsSlot) {
    HiveImage h = Baseline();
    h.U16(test::kSoftwareRecord + L::record::kKeyId, 0);
    // abc's entry now finds Software's record; Software's id 1 is gone.
    EXPECT_EQ(Check(h), (Outcome{0, 1, 0, 1}));
}

TEST(HiveChecker, SlotsAreSharedAcrossBlocks) {
    // Block 0 id 256 is slot 256, the slot of block 1 id 0, which no longer
    // exists there: Sub's entry finds Software's record.
    HiveImage h = Baseline();
    h.U16(test::kSoftwareRecord + L::record::kKeyId, 256);
    h.U16(test::kSubRecord + L::record::kKeyId, 7);
    EXPECT_EQ(Check(h), (Outcome{0, 1, 0, 1}));
    // When block 1 enters its own id 0, the later write wins.
    h.U16(test::kSubRecord + L::record::kKeyId, 0);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 0}));
}

TEST(HiveChecker, BlockSizeZeroEntersTheSameBlockAgain) {
    // Every block number then names block 0's place, whose end lies before
    // its first record: nothing is entered, and the first lookup fails.
    HiveImage h = Baseline();
    h.I32(test::kBlock0 + L::rgdb::kBlockSize, 0);
    EXPECT_EQ(Check(h), (Outcome{11, 0, 0, 0}));
    // Block 1 is block 0's header again, so the file's block 1 is never read.
    h.Text(test::kBlock1, "XXXX");
    EXPECT_EQ(Check(h), (Outcome{11, 0, 0, 0}));
}

TEST(HiveChecker, FreeLastRecordReadsOneMoreHead) {
    // The last block ends with a free record; the head right after the block
    // is read too. Here it is a record of length 0 with id 3, named "abc".
    HiveImage h = Baseline();
    h.Block(test::kBlock1, 0x60, 1, 1);
    h.Record(test::kSubRecord + 0x20, 0x20, 0xFFFF, 0xFFFF, "");
    h.Record(test::kEnd + 0x20, 0, 3, 1, "abc");
    SetEntryRecord(h, test::kAbc, 3, 1);
    EXPECT_EQ(Check(h), (Outcome{0, 3, 0, 0}));
    // A block whose last record is in use stops there.
    h.I32(test::kSubRecord + 0x20 + L::record::kLength, 0x20);
    h.U16(test::kSubRecord + 0x20 + L::record::kKeyId, 9);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 0}));
}

// --- Names and sums -----------------------------------------------------------

std::uint32_t Sum(const std::string& s, const ByteClasses& c) {
    return NameSum(reinterpret_cast<const std::uint8_t*>(s.data()), s.size(), c);
}
std::uint32_t Single(const std::string& s) {
    return SingleByteSum(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

TEST(NameSums, ByteClasses) {
    const ByteClasses sjis = ByteClasses::ForCodePage(932);
    const ByteClasses single = ByteClasses::ForCodePage(1252);
    EXPECT_EQ(Sum("abc", sjis), 198u);
    EXPECT_EQ(Single("abc"), 198u);
    EXPECT_EQ(Sum("\x82\xA0", sjis), 34u);  // lead 0x82 adds 2, trail 0xA0 adds 0x20
    EXPECT_EQ(Single("\x82\xA0"), 0u);
    EXPECT_EQ(Sum("\x82\xA0", single), 290u);
    EXPECT_EQ(Sum("\xB1\xDF\xA1", sjis), 0u);  // half-width katakana add nothing
    EXPECT_EQ(Sum("\xB1\xDF\xA1", single), 0u);
    EXPECT_EQ(Single("\xB1\xDF\xA1"), 0u);
    // A trail byte is not upper-cased; a run of lead-set bytes alternates.
    EXPECT_EQ(Sum("\x82\x61", sjis), 2u + 0xE1u);
    EXPECT_EQ(Sum("\x81\x81\x81\x41", sjis), 1u + 1u + 1u + 0xC1u);
    EXPECT_EQ(Sum("\x81\x81\x41", sjis), 1u + 1u + 0x41u);
    EXPECT_EQ(Sum("A\x82", sjis), 0x41u + 2u);  // a lone lead byte at the end
    EXPECT_EQ(Sum("\x80\xA0\xE0", single), 0x80u + 0xA0u + 0xE0u);
    // Both edges of every class, as literals.
    EXPECT_EQ(Sum("`az{", sjis), 0x60u + 0x41u + 0x5Au + 0x7Bu);
    EXPECT_EQ(Single("`az{\x7F\x80"), 0x60u + 0x41u + 0x5Au + 0x7Bu + 0x7Fu);
    EXPECT_EQ(Sum("\xA0\xA1\xDF", single), 0xA0u);
    for (unsigned b : {0x80u, 0xA0u, 0xDFu, 0xFDu}) EXPECT_FALSE(sjis.lead[b]) << b;
    for (unsigned b : {0x81u, 0x9Fu, 0xE0u, 0xFCu}) EXPECT_TRUE(sjis.lead[b]) << b;
}

TEST(NameSums, ClassesFromPlatform) {
    test::FilePlatform p;
    ByteClasses c = ByteClassesFromPlatform(p);
    EXPECT_TRUE(c.dbcs);
    EXPECT_TRUE(c.lead[0x81] && c.lead[0x9F] && c.lead[0xE0] && c.lead[0xFC]);
    EXPECT_FALSE(c.lead[0x80] || c.lead[0xA0] || c.lead[0xDF] || c.lead[0xFD]);
    p.cpInfoWorks = false;
    c = ByteClassesFromPlatform(p);
    EXPECT_TRUE(c.dbcs && c.lead[0x81] && !c.lead[0xA0]);
    p.dbcs = 0;
    EXPECT_FALSE(ByteClassesFromPlatform(p).dbcs);
}

TEST(HiveChecker, GhostGoodAndBadKeys) {
    HiveImage h = Baseline();
    h.U32(EntryAt(test::kAbc) + L::keynode::kNameHash, 197);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 1}));
    // A double-byte name whose hash is its NameSum is a bad key...
    h.Record(test::kAbcRecord, 0x20, 0, 0, "\x82\xA0");
    h.U32(EntryAt(test::kAbc) + L::keynode::kNameHash, 34);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 1, 0}));
    // ... and a ghost key where the system has no double-byte support.
    EXPECT_EQ(Check(h.bytes, ByteClasses::SingleByte()), (Outcome{0, 2, 0, 1}));
}

TEST(HiveChecker, NameEndsAtItsFirstZeroByte) {
    HiveImage h = Baseline();
    h.Record(test::kAbcRecord, 0x20, 0, 0, std::string("ab\0cd", 5));
    h.U32(EntryAt(test::kAbc) + L::keynode::kNameHash, 'A' + 'B');
    EXPECT_EQ(Check(h), (Outcome{0, 3, 0, 0}));
}

// --- Faults the format leaves open: bounded, sound outcomes ------------------

TEST(HiveCheckerBounds, LongNameIsSummedWhole) {
    HiveImage h = Baseline();
    h.Record(test::kEnd, 20 + 400, 2, 1, std::string(400, 'a'));
    h.I32(test::kBlock1 + L::rgdb::kBlockSize,
          static_cast<std::int32_t>(h.bytes.size() - test::kBlock1));
    h.I32(test::kSubRecord + L::record::kLength,
          static_cast<std::int32_t>(test::kEnd - test::kSubRecord));
    h.U16(test::kBlock1 + L::rgdb::kMaxId, 2);
    SetEntryRecord(h, test::kAbc, 2, 1);
    h.U32(EntryAt(test::kAbc) + L::keynode::kNameHash, 400 * 'A');
    EXPECT_EQ(Check(h), (Outcome{0, 3, 0, 0}));
}

TEST(HiveCheckerBounds, NameCutOffByEndOfFileIsSummedOverBytesPresent) {
    HiveImage h = Baseline();
    h.U16(test::kSubRecord + L::record::kNameLength, 40);
    h.bytes.resize(test::kSubRecord + L::record::kSize + 3);
    EXPECT_EQ(Check(h), (Outcome{0, 3, 0, 0}));
    h.bytes.resize(test::kSubRecord + L::record::kSize);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 1}));  // an empty name sums to 0
}

// The index grows to take a write past its end; slots nobody wrote hold -1.
TEST(HiveCheckerBounds, SlotsPastTheIndexKeepWhatWasEntered) {
    // Block 1 (the last) id 300 lands beyond the index's 512 slots.
    HiveImage last = Baseline();
    last.U16(test::kSubRecord + L::record::kKeyId, 300);
    SetEntryRecord(last, test::kSub, 300, 1);
    EXPECT_EQ(Check(last), (Outcome{0, 3, 0, 0}));
    // Block 0 (the first) id 300 is block 1's slot 44, which block 1 leaves alone.
    HiveImage first = Baseline();
    first.U16(test::kSoftwareRecord + L::record::kKeyId, 300);
    SetEntryRecord(first, test::kSoftware, 300, 0);
    EXPECT_EQ(Check(first), (Outcome{0, 3, 0, 0}));

    // Slots past the end that nobody wrote, by a large id or a block number
    // past the last block.
    SetEntryRecord(last, test::kSub, 0xFFFE, 0xFFFE);
    EXPECT_EQ(Check(last), (Outcome{0, 2, 0, 0}));
    SetEntryRecord(last, test::kSub, 0, 2);
    EXPECT_EQ(Check(last), (Outcome{0, 2, 0, 0}));
    // A block number past the last block that reaches a written slot:
    // 2 * 256 + 44 is block 1's id 300.
    SetEntryRecord(last, test::kSub, 44, 2);
    EXPECT_EQ(Check(last), (Outcome{0, 3, 0, 0}));
}

TEST(HiveCheckerBounds, CyclingWalkStopsAndCountsEachKeyOnce) {
    HiveImage sibling = Baseline();
    SetLink(sibling, test::kSoftware, L::keynode::kNextSibling, test::kAbc);
    EXPECT_EQ(Check(sibling), (Outcome{13, 3, 0, 0}));

    HiveImage self = Baseline();
    SetLink(self, test::kSub, L::keynode::kNextSibling, test::kSub);
    EXPECT_EQ(Check(self), (Outcome{13, 3, 0, 0}));

    HiveImage down = Baseline();
    SetLink(down, test::kSub, L::keynode::kFirstChild, test::kRoot);
    EXPECT_EQ(Check(down), (Outcome{13, 3, 0, 0}));

    // Climbing for ever: Sub's parent is Sub itself.
    HiveImage up = Baseline();
    SetLink(up, test::kSub, L::keynode::kParent, test::kSub);
    EXPECT_EQ(Check(up), (Outcome{13, 3, 0, 0}));
}

TEST(HiveCheckerBounds, FreeRecordThatCannotProgressEndsItsBlock) {
    HiveImage zero = Baseline();
    zero.I32(test::kFreeRecord + L::record::kLength, 0);
    EXPECT_EQ(Check(zero), (Outcome{0, 2, 0, 0}));  // Software is after it
    HiveImage back = Baseline();
    back.I32(test::kFreeRecord + L::record::kLength, -0x20);
    back.U16(test::kBlock0 + L::rgdb::kMaxId, 200);
    EXPECT_EQ(Check(back), (Outcome{0, 2, 0, 0}));
    // A record of length 0 that holds a key is entered again and again, each
    // time counted against lastRecordIndex (1): Software is never reached.
    HiveImage keyed = Baseline();
    keyed.I32(test::kAbcRecord + L::record::kLength, 0);
    EXPECT_EQ(Check(keyed), (Outcome{0, 2, 0, 0}));
}

// A key record leading back: the walk re-enters the records before it until
// lastRecordIndex + 1 records are entered. "Software", id 0, length -0x40, is
// the last record of block 0 and leads back to "abc", id 0 too: the record
// entered last takes slot 0. Software's entry (id 1) finds nothing.
TEST(HiveCheckerBounds, KeyRecordOfNegativeLengthLeadsBack) {
    HiveImage h = Baseline();
    h.Record(test::kSoftwareRecord, -0x40, 0, 0, "Software");
    h.I32(test::kBlock0 + L::rgdb::kBlockSize, 0x80);
    h.U16(test::kBlock0 + L::rgdb::kMaxId, 2);  // abc, Software, abc
    // Without the free tail, block 1 follows right after Software.
    h.bytes.erase(h.bytes.begin() + test::kTailRecord, h.bytes.begin() + test::kBlock1);
    EXPECT_EQ(Check(h), (Outcome{0, 2, 0, 0}));
    // The rounds left over are counted, not walked: abc and Software
    // alternate, so an odd number of entries ends on abc, an even on Software.
    for (const std::uint16_t bound : {3, 65534, 65535}) {
        h.U16(test::kBlock0 + L::rgdb::kMaxId, bound);
        const Outcome expected = bound % 2 ? Outcome{0, 1, 0, 1} : Outcome{0, 2, 0, 0};
        EXPECT_EQ(Check(h), expected) << bound;
    }
}

// Blocks that overlap: block 1 leads back to block 0 with a negative size, so
// the 65535 blocks alternate between block 0's records and none. Enough heads
// are read again that free runs are crossed quickly; that must not change
// any count.
TEST(HiveCheckerBounds, OverlappingBlocksGiveTheSameCountsQuickOrPlain) {
    HiveImage h = Baseline();
    h.U16(L::creg::kBlockCount, 65535);
    h.U16(test::kBlock0 + L::rgdb::kMaxId, 254);
    h.I32(test::kBlock1 + L::rgdb::kBlockSize, -0x100);
    SetEntryRecord(h, test::kSub, 1, 65534);  // Software's record, in the last even block
    // The last free record leads past block 0's end, to a key record that
    // would lead back into the block: the block ends at the free record.
    HiveImage across = h;
    across.I32(test::kTailRecord + L::record::kLength,
               static_cast<std::int32_t>(test::kSubRecord - test::kTailRecord));
    across.I32(test::kSubRecord + L::record::kLength,
               -static_cast<std::int32_t>(test::kSubRecord - test::kAbcRecord));
    SetEntryRecord(across, test::kAbc, 0, 65534);
    const struct {
        const HiveImage& image;
        Outcome expected;
    } cases[] = {{h, {0, 2, 0, 1}}, {across, {0, 2, 0, 1}}};
    for (const auto& c : cases) {
        HiveChecker quick(ByteClasses::ForCodePage(932));  // switches over on the way
        quick.CheckImage(c.image.bytes.data(), c.image.bytes.size());
        HiveChecker plain(ByteClasses::ForCodePage(932));
        plain.freeRunSkipping = HiveChecker::FreeRunSkipping::kNever;
        plain.CheckImage(c.image.bytes.data(), c.image.bytes.size());
        HiveChecker always(ByteClasses::ForCodePage(932));
        always.freeRunSkipping = HiveChecker::FreeRunSkipping::kAlways;
        always.CheckImage(c.image.bytes.data(), c.image.bytes.size());
        for (const HiveChecker* t : {&quick, &plain, &always}) {
            EXPECT_EQ(
                (Outcome{t->status, t->result.goodKeys, t->result.badKeys, t->result.ghostKeys}),
                c.expected);
        }
    }
}

// Data blocks that overlap in a repeating pattern: sites laid side by side,
// each holding key records of 20 bytes with ids from `id`, then a block that
// leads back to the first site with a negative size, so that the file's
// `count` blocks go round the sites again and again. The root entry refers to
// id 0 of the last block, with an empty name.
template <class IdOf>
HiveImage Overlapping(std::uint16_t count, const std::vector<int>& records, IdOf id) {
    HiveImage h;
    const std::size_t data = L::rgkn::kFileOffset + 0x40;
    h.Grow(data);
    h.Text(0, "CREG");
    h.I32(L::creg::kDataOffset, static_cast<std::int32_t>(data));
    h.U16(L::creg::kBlockCount, count);
    h.Text(L::rgkn::kFileOffset, "RGKN");
    h.I32(L::rgkn::kFileOffset + L::rgkn::kRootOffset, 0x20);
    h.Entry(0x20, 0, -1, -1, -1, 0, static_cast<std::uint16_t>(count - 1));
    std::size_t at = data;
    for (std::size_t site = 0; site < records.size(); ++site) {
        const int n = records[site];
        h.Block(at, 0x20 + 20 * n, static_cast<std::uint16_t>(site), 0xFFFF);
        for (int j = 0; j < n; ++j) {
            h.Record(at + 0x20 + 20 * j, 20, id(static_cast<int>(site), j), 0, "");
        }
        at += 0x20 + 20 * n;
    }
    h.Block(at, -static_cast<std::int32_t>(at - data), 0, 0);
    return h;
}

// About 1.3 MiB: one site of 65536 records, and 65535 blocks that alternate
// between it and the block that leads back. Walked block by block, that is
// 2^31 records entered; every walk after the first two repeats one of them,
// and of a repeated walk only the writes that the same walk two blocks
// further up does not overwrite are needed.
TEST(HiveCheckerBounds, RepeatedOverlappingBlocksCostTheirIndexNotTheirRecords) {
    const HiveImage h =
        Overlapping(65535, {65536}, [](int, int j) { return static_cast<std::uint16_t>(j); });
    HiveChecker checker(ByteClasses::ForCodePage(932));
    checker.CheckImage(h.bytes.data(), h.bytes.size());
    EXPECT_EQ((Outcome{checker.status, checker.result.goodKeys, checker.result.badKeys,
                       checker.result.ghostKeys}),
              (Outcome{0, 1, 0, 0}));
    EXPECT_EQ(checker.walkedBlocks(), 2u);
    // The index has 65535 * 256 slots, and every one is written.
    EXPECT_LE(checker.slotWrites(), 65535u * 256u + 65536u);
}

// The same index, slot for slot, as the reference that walks every block on
// its own: ids that repeat within a block, ids that reach later blocks' slots
// and past the index, and six sites in turn, each walked once.
TEST(HiveCheckerBounds, RepeatedWalksGiveTheReferenceIndex) {
    const auto id = [](int site, int j) {
        return static_cast<std::uint16_t>(site == 2 ? 0xFFFF - j : (j * 7 + site) % 600);
    };
    // 2000 blocks round the sites; 7 blocks, each place once.
    for (const std::uint16_t count : {2000, 7}) {
        const HiveImage h = Overlapping(count, {700, 300, 5, 40, 60, 90}, id);
        std::uint64_t digests[3] = {};
        std::uint64_t walks[3] = {};
        const HiveChecker::FreeRunSkipping modes[3] = {HiveChecker::FreeRunSkipping::kNever,
                                                       HiveChecker::FreeRunSkipping::kAuto,
                                                       HiveChecker::FreeRunSkipping::kAlways};
        for (int m = 0; m < 3; ++m) {
            HiveChecker checker(ByteClasses::ForCodePage(932));
            checker.freeRunSkipping = modes[m];
            checker.digestIndex = true;
            checker.CheckImage(h.bytes.data(), h.bytes.size());
            EXPECT_EQ(checker.status, 0);
            digests[m] = checker.indexDigest();
            walks[m] = checker.walkedBlocks();
        }
        EXPECT_EQ(digests[1], digests[0]) << count;
        EXPECT_EQ(digests[2], digests[0]) << count;
        EXPECT_EQ(walks[0], count);
        EXPECT_EQ(walks[1], std::min<std::uint64_t>(count, 7));
    }
}

// --- Many keys: counts stand whatever order keys are classified in ------------

// The root with `keys` children in one chain of siblings, records in blocks of
// 200. Every 7th name's hash is one too high (a ghost key), every 11th entry
// refers to an id nobody entered.
struct WideTree {
    HiveImage h;
    std::int32_t good = 0, ghost = 0;
    std::int32_t lastEntry = 0;
};
WideTree Wide(int keys) {
    WideTree t;
    HiveImage& h = t.h;
    const int perBlock = 200;
    const int blocks = (keys + perBlock - 1) / perBlock;
    const std::size_t area = 0x20 + 28 * (keys + 1);
    const std::size_t dataStart = L::rgkn::kFileOffset + area;
    h.Grow(dataStart);
    h.Text(0, "CREG");
    h.I32(L::creg::kDataOffset, static_cast<std::int32_t>(dataStart));
    h.U16(L::creg::kBlockCount, static_cast<std::uint16_t>(blocks));
    h.Text(L::rgkn::kFileOffset, "RGKN");
    h.I32(L::rgkn::kFileOffset + L::rgkn::kRootOffset, 0x20);
    h.Entry(0x20, 0, -1, 0x3C, -1, 0xFFFF, 0xFFFF);
    std::size_t at = dataStart;
    for (int b = 0; b < blocks; ++b) {
        const int n = std::min(perBlock, keys - b * perBlock);
        h.Block(at, 0x20 + 0x20 * n, static_cast<std::uint16_t>(b), static_cast<std::uint16_t>(n));
        for (int i = 0; i < n; ++i) {
            const int k = b * perBlock + i;
            char name[16];  // room for any int, which GCC's format check asks for
            std::snprintf(name, sizeof name, "K%05d", k);
            std::uint32_t hash = 0;
            for (const char* c = name; *c; ++c) hash += static_cast<unsigned char>(*c);
            const std::int32_t entry = 0x3C + 28 * k;
            const bool ghost = k % 7 == 0, lost = k % 11 == 0;
            h.Entry(entry, ghost ? hash + 1 : hash, 0x20, -1, k + 1 < keys ? entry + 28 : -1,
                    static_cast<std::uint16_t>(lost ? 250 : i), static_cast<std::uint16_t>(b));
            h.Record(at + 0x20 + 0x20 * i, 0x20, static_cast<std::uint16_t>(i),
                     static_cast<std::uint16_t>(b), name);
            if (!lost) ++(ghost ? t.ghost : t.good);
            t.lastEntry = entry;
        }
        at += 0x20 + 0x20 * n;
    }
    return t;
}

TEST(HiveCheckerMany, CountsOfAWideTree) {
    WideTree t = Wide(1000);
    EXPECT_EQ(Check(t.h), (Outcome{0, t.good, 0, t.ghost}));
    // Cut off after the last key: every key before it is counted.
    SetLink(t.h, t.lastEntry, L::keynode::kNextSibling, 0x7FFFFF00);
    EXPECT_EQ(Check(t.h), (Outcome{5, t.good, 0, t.ghost}));
    // A cycle back to the first key: each key once.
    SetLink(t.h, t.lastEntry, L::keynode::kNextSibling, 0x3C);
    EXPECT_EQ(Check(t.h), (Outcome{13, t.good, 0, t.ghost}));
}

// --- The walk with many chains in flight against the walk entry by entry -----

Outcome CheckWalk(const HiveImage& h, bool interleaved, bool* took) {
    HiveChecker checker(ByteClasses::ForCodePage(932));
    checker.interleavedWalk = interleaved;
    checker.CheckImage(h.bytes.data(), h.bytes.size());
    *took = checker.walkedInterleaved();
    return {checker.status, checker.result.goodKeys, checker.result.badKeys,
            checker.result.ghostKeys};
}

// The wide tree's keys re-linked three to a parent (key k's children are keys
// 3k+1 to 3k+3) and the key area's size set, so that many chains are in flight.
std::int32_t KeyEntry(int k) {
    return 0x3C + 28 * k;
}

TEST(HiveCheckerWalks, BrokenTreesAreReportedAsEntryByEntry) {
    const int keys = 1000;
    WideTree t = Wide(keys);
    t.h.U32(L::rgkn::kFileOffset + L::rgkn::kAreaSize, 0x20 + 28 * (keys + 1));
    for (int k = 0; k < keys; ++k) {
        const bool lastOfThree = k == 0 || k % 3 == 0 || k + 1 == keys;
        SetLink(t.h, KeyEntry(k), L::keynode::kParent, k == 0 ? 0x20 : KeyEntry((k - 1) / 3));
        SetLink(t.h, KeyEntry(k), L::keynode::kFirstChild,
                3 * k + 1 < keys ? KeyEntry(3 * k + 1) : -1);
        SetLink(t.h, KeyEntry(k), L::keynode::kNextSibling, lastOfThree ? -1 : KeyEntry(k + 1));
    }
    bool took = false;
    EXPECT_EQ(CheckWalk(t.h, true, &took), (Outcome{0, t.good, 0, t.ghost}));
    EXPECT_TRUE(took);
    // Key 42 ends a chain of three, key 121 does not.
    const struct {
        const char* what;
        int key, field;
        std::int32_t to;
    } breaks[] = {
        {"chains cross", 5, L::keynode::kFirstChild, KeyEntry(40)},
        {"a chain ends naming another parent", 42, L::keynode::kParent, KeyEntry(7)},
        {"a chain ends naming none", 42, L::keynode::kParent, -1},
        {"the top chain ends naming a parent", 0, L::keynode::kParent, KeyEntry(3)},
        {"a sibling leads back to an ancestor", 121, L::keynode::kNextSibling, KeyEntry(1)},
        {"a child cannot be read", 500, L::keynode::kFirstChild, 0x7FFFFF00},
        {"a child off the 4-byte grid", 333, L::keynode::kFirstChild, KeyEntry(998) + 2},
        {"a child past the key area", 333, L::keynode::kFirstChild,
         static_cast<std::int32_t>(t.h.bytes.size()) - 0x40},
    };
    for (const auto& b : breaks) {
        HiveImage broken = t.h;
        SetLink(broken, KeyEntry(b.key), b.field, b.to);
        bool plain = false;
        EXPECT_EQ(CheckWalk(broken, true, &took), CheckWalk(broken, false, &plain)) << b.what;
        EXPECT_FALSE(took) << b.what;
    }
}

// Names classified through the checker at the edges of the letters a to z
// and of plain ASCII: 0x80 counts in the double-byte sum only.
TEST(HiveCheckerWalks, NamesAtTheEdgesOfPlainAscii) {
    const struct {
        const char* name;
        std::uint32_t hash;
        Outcome outcome;
    } names[] = {
        {"z{`@[\x7f", 'Z' + '{' + '`' + '@' + '[' + 0x7F, {0, 3, 0, 0}},
        {"a\x80", 'A' + 0x80, {0, 2, 1, 0}},
        {"a\x80", 'A', {0, 2, 0, 1}},
    };
    for (const auto& n : names) {
        HiveImage h = Baseline();
        h.Record(test::kAbcRecord, 0x20, 0, 0, n.name);
        h.U32(EntryAt(test::kAbc) + L::keynode::kNameHash, n.hash);
        EXPECT_EQ(Check(h), n.outcome) << n.name;
    }
}

// A code page whose lead bytes include 'a' sums "abc" and "Software" as
// double-byte names, which then no longer match their stored sums.
TEST(HiveCheckerWalks, LeadBytesBelow0x80GetTheFullSums) {
    ByteClasses classes = ByteClasses::ForCodePage(932);
    classes.SetLeadRange('a', 'a');
    EXPECT_EQ(Check(Baseline().bytes, classes), (Outcome{0, 1, 0, 2}));
}

// --- Check: the file through the platform ------------------------------

class CheckTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::Set(&fs_); }
    void TearDown() override { platform::Set(nullptr); }
    Outcome Run(const char* path) {
        HiveCheckResult r = checker_.Check(path);
        EXPECT_EQ(r.goodKeys, checker_.result.goodKeys);
        EXPECT_EQ(r.ghostKeys, checker_.result.ghostKeys);
        return {checker_.status, checker_.result.goodKeys, checker_.result.badKeys,
                checker_.result.ghostKeys};
    }
    test::FilePlatform fs_;
    HiveChecker checker_{ByteClasses::ForCodePage(932)};
};

TEST_F(CheckTest, ReadsTheFileAndResetsBetweenChecks) {
    fs_.files["C:\\WINDOWS\\SYSTEM.DAT"] = Baseline().bytes;
    fs_.directories.insert("C:\\WINDOWS");
    EXPECT_EQ(Run("C:\\WINDOWS\\SYSTEM.DAT"), (Outcome{0, 3, 0, 0}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(checker_.header()), 4), "CREG");
    EXPECT_EQ(Run("C:\\WINDOWS\\USER.DAT"), (Outcome{-1, 0, 0, 0}));
    EXPECT_EQ(Run("C:\\WINDOWS"), (Outcome{-1, 0, 0, 0}));
    EXPECT_EQ(fs_.readCalls, 1);
}

TEST_F(CheckTest, ReadFailuresAreRaisedNotStatuses) {
    fs_.files["A.DAT"] = Baseline().bytes;
    fs_.readError = platform::kErrorSharingViolation;
    try {
        Run("A.DAT");
        FAIL() << "no error raised";
    } catch (const IoError& e) {
        EXPECT_EQ(e.code(), platform::kErrorSharingViolation);
    }
    EXPECT_EQ(checker_.status, 0);
    fs_.readError = platform::kErrorNotEnoughMemory;
    EXPECT_THROW(Run("A.DAT"), OutOfMemoryError);
    fs_.readError = 0;
    fs_.sizeError = platform::kErrorAccessDenied;
    EXPECT_THROW(Run("A.DAT"), IoError);
}

TEST_F(CheckTest, FileTooLargeIsRefusedBeforeReading) {
    fs_.files["BIG.DAT"] = Baseline().bytes;
    fs_.reportedSize = 0x80000000ull;
    EXPECT_THROW(Run("BIG.DAT"), OutOfMemoryError);
    EXPECT_EQ(fs_.readCalls, 0);
    EXPECT_EQ(checker_.result.goodKeys, 0);
}

}  // namespace
}  // namespace sabrel::hive
